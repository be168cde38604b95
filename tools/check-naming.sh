#!/usr/bin/env bash
# Checks the naming rule of docs/CONVENTIONS.md (the repository's .clang-tidy) over src/.
# Prints each finding once and fails when there is any.
#
#   tools/check-naming.sh [build-dir]     default: build/naming
#
# Environment: JOBS (default 2), CLANG_TIDY (default clang-tidy).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build/naming}"
JOBS="${JOBS:-2}"
CLANG_TIDY="${CLANG_TIDY:-clang-tidy}"

# clang-tidy cannot read GCC's precompiled headers, and only the program's sources count.
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOCELIS_PCH=OFF \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DOCELIS_BUILD_TESTS=OFF >/dev/null

# Only moc's output is needed for the sources to parse. The *_autogen targets would first
# build every library their target links, so run moc the way they do, without them.
find "$BUILD" -path '*_autogen.dir/AutogenInfo.json' -print0 |
    xargs -0 -P "$JOBS" -I{} cmake -E cmake_autogen {} Debug

mapfile -t files < <(python3 - "$BUILD/compile_commands.json" "$ROOT/src/" <<'EOF'
import json, os, sys
entries = json.load(open(sys.argv[1]))
for f in sorted({os.path.normpath(os.path.join(e["directory"], e["file"])) for e in entries}):
    if f.startswith(sys.argv[2]) and f.endswith(".cpp"):
        print(f)
EOF
)

out="$BUILD/naming.log"
printf '%s\n' "${files[@]}" |
    xargs -P "$JOBS" -I{} "$CLANG_TIDY" --quiet -p "$BUILD" \
        --header-filter="^$ROOT/src/" {} >"$out" 2>&1 || true

# clang-tidy skips a class whose first declaration is a forward one (class X; ... class X
# {...}): those are checked here, by their spelling.
python3 - "$ROOT" >>"$out" <<'PY'
import glob, os, re, sys
root = sys.argv[1]
seams = {"Synchronizer", "ByteSource", "FetchWorker"}  # abstract: no prefix
ok = re.compile(r"^(T[A-Z]|E[A-Z]|Tfo[A-Z])")
forward, defined = {}, set()
for path in sorted(glob.glob(os.path.join(root, "src", "**", "*.[hc]*"), recursive=True)):
    text = re.sub(r"//[^\n]*", "", open(path, encoding="utf-8").read())
    for m in re.finditer(r"\b(?:class|struct)\s+(?:\w+::)*(\w+)\s*;", text):
        line = text.count("\n", 0, m.start()) + 1
        forward.setdefault(m.group(1), f"{path}:{line}:1")
    for m in re.finditer(r"\b(?:class|struct)\s+(?:\w+\s*::\s*)*(\w+)\s*(?:final\s*)?(?::[^;{]*)?\{", text):
        defined.add(m.group(1))
for name, where in sorted(forward.items()):
    if name in defined and name not in seams and not ok.match(name):
        print(f"{where}: warning: invalid case style for forward-declared class '{name}' "
              "[readability-identifier-naming]")
PY

# A header's findings come once from every source that includes it.
findings=$(grep -E ': (warning|error): .*\[(readability-identifier-naming|clang-diagnostic-error)\]$' \
    "$out" | sed "s|^$ROOT/||" | sort -u || true)
if grep -qE ': error: ' "$out"; then
    grep -E ': error: ' "$out" | sort -u >&2
    echo "check-naming: clang-tidy could not parse every source (see $out)" >&2
    exit 2
fi
if [ -n "$findings" ]; then
    echo "$findings"
    echo "check-naming: $(echo "$findings" | wc -l) names break docs/CONVENTIONS.md" >&2
    exit 1
fi
echo "check-naming: ${#files[@]} sources, no finding"
