#!/usr/bin/env python3
"""Renames the names that break docs/CONVENTIONS.md, in one sweep over the C++ files of
src/, tests/, bench/, fuzz/ and tools/.

    tools/rename-names.py [--text-only] [--jobs N] [--dry-run]

Step 1 (text) rewrites whole words of code; string literals stay as they are (an include
path or a message never changes), and comments change only where an old name cannot be a
plain word (JpegError, not Dialogs). Types are renamed everywhere; names with a
generic spelling (State, Entry, width, fd_ ...) only in the files, or the class body, of
their owner, and as Owner::name anywhere.

Step 2 (compiler) finds the remaining uses of renamed members through the types the
compiler sees: every source is checked with -fsyntax-only, and each error that names a
member of this table on its owner type ("has no member named 'width'" of a TBitmap) is
rewritten at the place the compiler gives, until no such error is left. It configures
build/rename-gcc (tests and benchmarks) and build/rename-clang (fuzz targets) for their
compile commands. A build and the unit tests afterwards are still up to the caller.

Afterwards it formats the files it changed with clang-format and lists the comments that
spell an old name which is also a plain word (Dialogs, Socket), for a reader to judge.
"""

import argparse
import json
import os
import re
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DIRS = ("src", "tests", "bench", "fuzz", "tools")
EXTS = (".h", ".hpp", ".cpp", ".cc")

# --- the table -------------------------------------------------------------------------

# Types whose spelling is theirs alone: renamed wherever code names them.
TYPES = {
    "Bitmap": "TBitmap",
    "PixelBuffer": "TPixelBuffer",
    "DefaultInitAllocator": "TDefaultInitAllocator",
    "JpegError": "EJpegError",
    "JpegTruncatedError": "EJpegTruncatedError",
    "JpegLimits": "TJpegLimits",
    "JpegInfo": "TJpegInfo",
    "JpegImage": "TJpegImage",
    "ShellGlyph": "TShellGlyph",
    "XmlOut": "TXmlOut",
    "XmlArena": "TXmlArena",
    "FetchThreadRegistry": "TFetchThreadRegistry",
    "QtSynchronizer": "TQtSynchronizer",
    "HandOverReceiver": "THandOverReceiver",
    "Dialogs": "TDialogs",
    "MessageRecord": "TMessageRecord",
    "SeamState": "TSeamState",
    "HandOverServer": "THandOverServer",
    "OwnedFd": "TOwnedFd",
    "InstanceLock": "TInstanceLock",
    "BuiltIn": "TBuiltIn",
    "PropType": "TPropType",
    "PropError": "EPropError",
    "PropAdapter": "TPropAdapter",
    "PropRegistry": "TPropRegistry",
    "DepthGuard": "TDepthGuard",
    "StoredForm": "TStoredForm",
    "MagnetRect": "TMagnetRect",
    "MagnetStamps": "TMagnetStamps",
    "MagnetResult": "TMagnetResult",
    "ArchiveError": "EArchiveError",
    "ViewerSizeContext": "TViewerSizeContext",
    "ViewerSize": "TViewerSize",
    "ZoomRect": "TZoomRect",
    "ErrorManager": "TErrorManager",
    "ScanLimiter": "TScanLimiter",
    "DecodeRequest": "TDecodeRequest",
    "EncodeOutput": "TEncodeOutput",
    "Taps": "TTaps",
    # a namespace-scope constant
    "ProductName": "kProductName",
}

# Generic spellings: (old, new, files of the owner, owners that may qualify it elsewhere).
SCOPED = [
    # types nested in a class or local to a source
    ("State", "TState", ["src/platform/InstanceLock.h", "src/platform/InstanceLock.cpp"],
     ["InstanceLock"]),
    ("State", "TState", ["src/net/QtSynchronizer.h", "src/net/QtSynchronizer.cpp"],
     ["QtSynchronizer"]),
    ("Call", "TCall", ["src/net/QtSynchronizer.h", "src/net/QtSynchronizer.cpp"],
     ["QtSynchronizer"]),
    ("Status", "TStatus", ["src/net/QtSynchronizer.cpp"], ["Call"]),
    ("Url", "TEndpoint", ["src/net/HttpClient.h", "src/net/HttpClient.cpp"], ["THttpClient"]),
    ("Entry", "TEntry", ["src/settings/PropRegistry.h", "src/settings/PropRegistry.cpp"],
     ["PropRegistry"]),
    ("Entry", "TEntry", ["src/viewer/ViewerWindow.cpp"], []),
    ("Kind", "TKind", ["src/gui/OcFileDialog.h", "src/gui/OcFileDialog.cpp"],
     ["TOcFileDialog"]),
    ("Mode", "TMode", ["src/imaging/Jpeg.cpp"], []),
    ("Edge", "TEdge", ["src/viewer/FormMagnet.cpp"], []),
    ("Clock", "TClock", ["src/viewer/FormMagnet.h", "src/viewer/FormMagnet.cpp"],
     ["TOcFormMagnet"]),
    ("Clock", "TClock", ["src/platform/HandOver.cpp"], []),
    ("Handler", "THandler", ["src/platform/HandOver.h", "src/platform/HandOver.cpp"],
     ["HandOverServer"]),
    ("DragMode", "TDragMode", ["src/viewer/ViewerWindow.h", "src/viewer/ViewerWindow.cpp"],
     ["TfoViewer"]),
    ("WindowLister", "TWindowLister", ["src/settings/Translator.h", "src/settings/Translator.cpp"],
     ["TOcTranslator"]),
    ("Elem", "TElem", ["src/catalogue/CamCategory.cpp"], ["StoredForm"]),
    ("Prop", "TProp", ["src/catalogue/CamCategory.cpp"], ["StoredForm"]),
    ("Fd", "TFd", ["src/platform/RegularFile.cpp"], []),
    # constants of a source or a class
    ("CRLF", "kCrLf", ["src/catalogue/XmlDocument.cpp"], []),
    ("PropNameChars", "kPropNameChars", ["src/catalogue/XmlDocument.cpp"], []),
    ("EscapeIndex", "kEscapeIndex", ["src/catalogue/XmlDocument.cpp"], []),
    ("RefText", "kRefText", ["src/catalogue/XmlDocument.cpp"], []),
    ("RefLength", "kRefLength", ["src/catalogue/XmlDocument.cpp"], []),
    ("ElemHeader", "kElemHeader", ["src/catalogue/XmlDocument.cpp"], []),
    ("BlockSize", "kBlockSize", ["src/catalogue/XmlDocument.cpp"], ["XmlArena"]),
    ("MaxDepth", "kMaxDepth", ["src/catalogue/XmlDocument.h", "src/catalogue/XmlDocument.cpp"],
     ["TOcSimpleXml"]),
    ("MaxNodes", "kMaxNodes", ["src/catalogue/XmlDocument.h", "src/catalogue/XmlDocument.cpp"],
     ["TOcSimpleXml"]),
    ("MaxFileSize", "kMaxFileSize",
     ["src/catalogue/XmlDocument.h", "src/catalogue/XmlDocument.cpp"], ["TOcSimpleXml"]),
    ("SubItemsRole", "kSubItemsRole", ["src/gui/OcListView.h", "src/gui/OcListView.cpp"],
     ["TOcListView"]),
]

# Private data members without F: (where declared today, owner, old, new, files). Renamed as
# whole words in the owner's files only (never after '::' unless the owner qualifies it).
PRIVATE_FIELDS = [
    ("src/net/HttpClient.h:97", "THttpClient", "SocketMutex", "FSocketMutex"),
    ("src/net/HttpClient.h:98", "THttpClient", "Socket", "FSocket"),
    ("src/net/HttpClient.h:99", "THttpClient", "WakeFd", "FWakeFd"),
    ("src/net/HttpClient.h:100", "THttpClient", "Aborted", "FAborted"),
    ("src/net/HttpClient.h:101", "THttpClient", "ConnHost", "FConnHost"),
    ("src/net/HttpClient.h:101", "THttpClient", "ConnPort", "FConnPort"),
    ("src/net/HttpClient.h:107", "THttpClient", "Cookies", "FCookies"),
    ("src/net/HttpClient.h:108", "THttpClient", "Deadline", "FDeadline"),
    ("src/net/HttpClient.h:109", "THttpClient", "Connects", "FConnects"),
    ("src/net/QtSynchronizer.h:35", "QtSynchronizer", "Shared", "FShared"),
    ("src/net/QtSynchronizer.h:36", "QtSynchronizer", "Context", "FContext"),
    ("src/net/QtSynchronizer.h:37", "QtSynchronizer", "GuiThread", "FGuiThread"),
    ("src/net/QtSynchronizer.cpp:77", "HandOverReceiver", "Shared", "FShared"),
    ("src/platform/HandOver.h:59", "HandOverServer", "fd_", "FFd"),
    ("src/platform/HandOver.h:60", "HandOverServer", "path_", "FPath"),
    ("src/platform/InstanceLock.h:35", "InstanceLock", "fd_", "FFd"),
    # the XML parser's cursor state: its class body only (the source has other s and n)
    ("src/catalogue/XmlDocument.cpp:665", "TOcSimpleXmlParser", "s", "FData"),
    ("src/catalogue/XmlDocument.cpp:666", "TOcSimpleXmlParser", "n", "FSize"),
    ("src/catalogue/XmlDocument.cpp:667", "TOcSimpleXmlParser", "pos", "FPos"),
    ("src/catalogue/XmlDocument.cpp:668", "TOcSimpleXmlParser", "doc", "FDoc"),
    ("src/catalogue/XmlDocument.cpp:669", "TOcSimpleXmlParser", "arena", "FArena"),
    ("src/catalogue/XmlDocument.cpp:670", "TOcSimpleXmlParser", "scratch", "FScratch"),
    ("src/catalogue/XmlDocument.cpp:671", "TOcSimpleXmlParser", "nodes", "FNodes"),
]
# Owners whose private fields are renamed inside their class body only.
BODY_ONLY_OWNERS = {"TOcSimpleXmlParser"}
OWNER_FILES = {
    "THttpClient": ["src/net/HttpClient.h", "src/net/HttpClient.cpp"],
    "QtSynchronizer": ["src/net/QtSynchronizer.h", "src/net/QtSynchronizer.cpp"],
    "HandOverReceiver": ["src/net/QtSynchronizer.cpp"],
    "HandOverServer": ["src/platform/HandOver.h", "src/platform/HandOver.cpp"],
    "InstanceLock": ["src/platform/InstanceLock.h", "src/platform/InstanceLock.cpp"],
    "TOcSimpleXmlParser": ["src/catalogue/XmlDocument.cpp"],
}

# Public data members and methods of plain structs: (owner, file of its body, {old: new}).
# Step 1 renames them in the owner's body and as Owner::name; step 2 everywhere else.
PUBLIC_MEMBERS = [
    ("Bitmap", "src/imaging/Bitmap.h",
     {"width": "Width", "height": "Height", "pixels": "Pixels",
      "empty": "Empty", "stride": "Stride", "row": "Row", "resize": "Resize"}),
    ("Taps", "src/imaging/Bitmap.cpp",
     {"offset": "Offset", "index": "Index", "weight": "Weight", "total": "Total"}),
    ("JpegLimits", "src/imaging/Jpeg.h",
     {"maxPixels": "MaxPixels", "maxDimension": "MaxDimension",
      "maxProgressiveScans": "MaxProgressiveScans"}),
    ("JpegInfo", "src/imaging/Jpeg.h",
     {"width": "Width", "height": "Height", "components": "Components",
      "progressive": "Progressive"}),
    ("JpegImage", "src/imaging/Jpeg.h", {"bytes": "Bytes", "bitmap": "Bitmap"}),
    ("ErrorManager", "src/imaging/Jpeg.cpp",
     {"pub": "Pub", "jump": "Jump", "message": "Message", "truncated": "Truncated",
      "rowsDone": "RowsDone"}),
    ("ScanLimiter", "src/imaging/Jpeg.cpp", {"pub": "Pub", "maxScans": "MaxScans"}),
    ("DecodeRequest", "src/imaging/Jpeg.cpp",
     {"mode": "Mode", "minWidth": "MinWidth", "minHeight": "MinHeight", "limits": "Limits",
      "rows": "Rows", "rowsWritten": "RowsWritten"}),
    ("EncodeOutput", "src/imaging/Jpeg.cpp", {"buffer": "Buffer", "size": "Size"}),
    ("SeamState", "src/platform/Dialogs.cpp",
     {"testMode": "TestMode", "answers": "Answers", "files": "Files", "buttons": "Buttons",
      "messages": "Messages"}),
    ("MessageRecord", "src/platform/Dialogs.h", {"icon": "Icon", "title": "Title", "text": "Text"}),
    ("OwnedFd", "src/platform/HandOver.cpp", {"fd": "Fd"}),
    ("Fd", "src/platform/RegularFile.cpp", {"fd": "Fd"}),
    ("BuiltIn", "src/settings/MessageTexts.cpp",
     {"name": "Name", "variable": "Variable", "text": "Text"}),
    ("PropAdapter", "src/settings/PropRegistry.h",
     {"type": "Type", "members": "Members", "setText": "SetText", "setInteger": "SetInteger",
      "setShortCut": "SetShortCut", "getObject": "GetObject", "count": "Count",
      "cells": "Cells", "setItem": "SetItem"}),
    ("Entry", "src/settings/PropRegistry.h",
     {"cls": "Cls", "upperName": "UpperName", "adapter": "Adapter"}),
    ("DepthGuard", "src/settings/Translator.cpp", {"depth": "Depth"}),
    ("MagnetRect", "src/viewer/FormMagnet.h",
     {"left": "Left", "top": "Top", "right": "Right", "bottom": "Bottom", "width": "Width",
      "height": "Height"}),
    ("MagnetStamps", "src/viewer/FormMagnet.h",
     {"left": "Left", "right": "Right", "top": "Top", "bottom": "Bottom"}),
    ("MagnetResult", "src/viewer/FormMagnet.h", {"rect": "Rect", "stamps": "Stamps"}),
    ("ViewerSizeContext", "src/viewer/ViewerGeometry.h",
     {"proportional": "Proportional", "resizing": "Resizing", "normalState": "NormalState",
      "statusVisible": "StatusVisible", "pictureWidth": "PictureWidth",
      "pictureHeight": "PictureHeight", "screenWidth": "ScreenWidth",
      "screenHeight": "ScreenHeight"}),
    ("ViewerSize", "src/viewer/ViewerGeometry.h", {"width": "Width", "height": "Height"}),
    ("Entry", "src/viewer/ViewerWindow.cpp", {"name": "Name", "action": "Action", "key": "Key"}),
    ("ZoomRect", "src/viewer/ZoomGeometry.h",
     {"left": "Left", "top": "Top", "width": "Width", "height": "Height"}),
]

# Function-local constants: (file, old, new); renamed from the declaration to the end of
# the enclosing block.
LOCAL_CONSTANTS = [
    ("src/avi/AviFile.cpp", "pad", "kPad"),
    ("src/catalogue/XmlDocument.cpp", "step", "kStep"),
    ("src/catalogue/XmlDocument.cpp", "none", "kNone"),
    ("src/catalogue/XmlDocument.cpp", "empty", "kEmpty"),
    ("src/catalogue/XmlDocument.cpp", "eof", "kEof"),
    ("src/catalogue/XmlDocument.cpp", "ones", "kOnes"),
    ("src/catalogue/XmlDocument.cpp", "highs", "kHighs"),
    ("src/gui/SForm.cpp", "listerSet", "kListerSet"),
    ("src/mosaic/ChooseWindow.cpp", "empty", "kEmpty"),
    ("src/mosaic/ChooseWindow.cpp", "picture", "kPicture"),
    ("src/util/Text.cpp", "maxPositive", "kMaxPositive"),
]

# Files named after a renamed class would follow it; file names drop the T, so none moves.
FILE_RENAMES = {}

CHANGED = set()  # files written, to be formatted at the end

# --- code scanning ---------------------------------------------------------------------

IDENT = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")
TWO_HUMPS = re.compile(r"[A-Z][a-z0-9]+[A-Z]")  # JpegError, not Dialogs or Socket


def code_mask(text):
    """The text with comments and string/char literals blanked (same length), and the
    blanked comment spans."""
    out = list(text)
    comments = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            comments.append((i, j))
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            comments.append((i, j))
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            if not m:
                i += 1
                continue
            end = text.find(")" + m.group(1) + '"', i)
            j = n if end < 0 else end + len(m.group(1)) + 2
        elif c == '"' or (c == "'" and not (i > 0 and (text[i - 1].isalnum()))):
            # a ' after a digit or letter is a digit separator (1'000) or part of u8'x' etc.
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j += 1
        else:
            i += 1
            continue
        for k in range(i, min(j, n)):
            if out[k] != "\n":
                out[k] = " "
        i = j
    return "".join(out), comments


def prev_token(code, pos):
    """The two characters of code before pos, skipping blanks."""
    k = pos - 1
    while k >= 0 and code[k] in " \t\n":
        k -= 1
    return code[max(0, k - 1):k + 1], k


def qualifier_before(code, pos):
    """The identifier before '::' in front of pos, '' when there is '::' with nothing before
    it, None when pos is not qualified."""
    two, k = prev_token(code, pos)
    if two != "::":
        return None
    k -= 2
    while k >= 0 and code[k] in " \t\n":
        k -= 1
    if k >= 0 and code[k] == ">":  # Owner<...>::name
        depth = 0
        while k >= 0:
            if code[k] == ">":
                depth += 1
            elif code[k] == "<":
                depth -= 1
                if depth == 0:
                    k -= 1
                    break
            k -= 1
    end = k + 1
    while k >= 0 and (code[k].isalnum() or code[k] == "_"):
        k -= 1
    return code[k + 1:end]


def member_access_before(code, pos):
    two, _ = prev_token(code, pos)
    return two.endswith(".") or two == "->"


def block_span(code, pos):
    """The span of the innermost {...} holding pos (the whole file when none)."""
    depth = 0
    k = pos
    while k > 0:
        k -= 1
        if code[k] == "}":
            depth += 1
        elif code[k] == "{":
            if depth == 0:
                return k, matching_brace(code, k)
            depth -= 1
    return 0, len(code)


def matching_brace(code, open_pos):
    depth = 0
    for k in range(open_pos, len(code)):
        if code[k] == "{":
            depth += 1
        elif code[k] == "}":
            depth -= 1
            if depth == 0:
                return k + 1
    return len(code)


def class_body(code, name):
    """Spans of the bodies of the class/struct definitions called name (also Outer::name)."""
    spans = []
    for m in re.finditer(r"\b(?:class|struct)\s+(?:\w+\s*::\s*)*" + re.escape(name) + r"\b", code):
        k = m.end()
        while k < len(code) and code[k] not in "{;()":
            k += 1
        if k < len(code) and code[k] == "{":
            spans.append((k, matching_brace(code, k)))
    return spans


def in_test_suite_name(code, pos):
    """pos is the first argument of TEST(suite, name): a suite name, not a type."""
    two, k = prev_token(code, pos)
    if not two.endswith("("):
        return False
    m = re.search(r"\bTEST\s*$", code[:k])
    return m is not None


def declares_function(code, pos, end):
    """'Type& Name(' or 'Type Name(' where Name spells a type: a function declaration."""
    two, _ = prev_token(code, pos)
    rest = code[end:end + 40].lstrip()
    return rest.startswith("(") and two[-1:] in ("&", "*")


# --- step 1 ----------------------------------------------------------------------------

def source_files():
    files = []
    for d in DIRS:
        for base, dirs, names in os.walk(os.path.join(ROOT, d)):
            dirs[:] = [x for x in dirs if x not in ("build", "corpus")]
            for name in names:
                if name.endswith(EXTS):
                    files.append(os.path.relpath(os.path.join(base, name), ROOT))
    return sorted(files)


def all_owner_names(owner):
    names = {owner}
    if owner in TYPES:
        names.add(TYPES[owner])
    for old, new, _, _ in SCOPED:
        if old == owner:
            names.add(new)
    return names


def plan_file(rel, text):
    """Replacements [(start, end, new)] for step 1 in one file."""
    code, comments = code_mask(text)
    repl = {}

    def put(start, end, new):
        repl.setdefault(start, (end, new))

    # local constants: from their declaration to the end of the enclosing block
    for f, old, new in LOCAL_CONSTANTS:
        if f != rel:
            continue
        decl = re.compile(r"\b(?:constexpr|const)\b[^;{}()=]*?\b" + re.escape(old) + r"\b\s*(?==|;|\{|\[)")
        for m in decl.finditer(code):
            name_start = m.start() + m.group(0).rfind(old)
            b0, b1 = block_span(code, name_start)
            for w in re.finditer(r"\b" + re.escape(old) + r"\b", code[name_start:b1]):
                s = name_start + w.start()
                if member_access_before(code, s) or qualifier_before(code, s) is not None:
                    continue
                put(s, s + len(old), new)

    # private fields: owner's files (or class body), never after '::' unless the owner's
    for where, owner, old, new in PRIVATE_FIELDS:
        if rel not in OWNER_FILES[owner]:
            continue
        spans = class_body(code, owner) if owner in BODY_ONLY_OWNERS else [(0, len(code))]
        owners = all_owner_names(owner)
        for a, b in spans:
            for w in re.finditer(r"\b" + re.escape(old) + r"\b", code[a:b]):
                s = a + w.start()
                q = qualifier_before(code, s)
                if q is not None and q not in owners:
                    continue
                put(s, s + len(old), new)

    # public members: the owner's body, and Owner::name anywhere
    for owner, body_file, names in PUBLIC_MEMBERS:
        owners = all_owner_names(owner)
        spans = class_body(code, owner) if rel == body_file else []
        for old, new in names.items():
            for a, b in spans:
                for w in re.finditer(r"\b" + re.escape(old) + r"\b", code[a:b]):
                    s = a + w.start()
                    if member_access_before(code, s) or qualifier_before(code, s) is not None:
                        continue
                    put(s, s + len(old), new)
            for w in re.finditer(r"\b" + re.escape(old) + r"\b", code):
                q = qualifier_before(code, w.start())
                if q and q in owners:
                    put(w.start(), w.end(), new)

    # generic spellings: the owner's files, and Owner::name anywhere
    for old, new, files, quals in SCOPED:
        owners = set()
        for q in quals:
            owners |= all_owner_names(q)
        for w in re.finditer(r"\b" + re.escape(old) + r"\b", code):
            s = w.start()
            q = qualifier_before(code, s)
            if q is not None and q != "":
                if q in owners:
                    put(s, w.end(), new)
                continue
            if rel in files and not member_access_before(code, s):
                put(s, w.end(), new)

    # types with a spelling of their own: everywhere
    for w in IDENT.finditer(code):
        new = TYPES.get(w.group(0))
        if not new:
            continue
        s = w.start()
        if member_access_before(code, s) or in_test_suite_name(code, s):
            continue
        q = qualifier_before(code, s)
        # A member of a class (TOcImage::Bitmap) is not the type; a constructor
        # (QtSynchronizer::QtSynchronizer, using JpegError::JpegError) is.
        if q and q[0].isupper() and q not in (w.group(0), new):
            continue
        if declares_function(code, s, w.end()):
            continue
        put(s, w.end(), new)

    # comments: only spellings that cannot be plain words (JpegError, RefText)
    words = {o: n for o, n in TYPES.items() if TWO_HUMPS.match(o)}
    words.update({o: n for o, n, files, _ in SCOPED if rel in files and TWO_HUMPS.match(o)})
    if words:
        pat = re.compile(r"\b(" + "|".join(sorted(words, key=len, reverse=True)) + r")\b")
        for a, b in comments:
            for m in pat.finditer(text, a, b):
                put(m.start(), m.end(), words[m.group(1)])

    return sorted((s, e, n) for s, (e, n) in repl.items())


def apply(text, repl):
    out, last = [], 0
    for s, e, n in repl:
        if s < last:
            continue
        out.append(text[last:s])
        out.append(n)
        last = e
    out.append(text[last:])
    return "".join(out)


def step_text(files, dry_run):
    changed = 0
    for rel in files:
        path = os.path.join(ROOT, rel)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        repl = plan_file(rel, text)
        if repl:
            changed += 1
            if dry_run:
                for s, e, n in repl:
                    line = text.count("\n", 0, s) + 1
                    print(f"{rel}:{line}: {text[s:e]} -> {n}")
            else:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(apply(text, repl))
                CHANGED.add(rel)
    for old, new in FILE_RENAMES.items():
        if not dry_run:
            os.rename(os.path.join(ROOT, old), os.path.join(ROOT, new))
    print(f"rename-names: step 1 changed {changed} files", file=sys.stderr)


# --- step 2 ----------------------------------------------------------------------------

def member_table():
    """{(owner's new name, old member): new member} and {(file, old): new} for names that
    are bare in their owner's sources."""
    members, bare = {}, {}
    for owner, body_file, names in PUBLIC_MEMBERS:
        for o in all_owner_names(owner):
            for old, new in names.items():
                members[(o, old)] = new
        d = os.path.dirname(body_file)
        stem = os.path.splitext(os.path.basename(body_file))[0]
        for old, new in names.items():
            for ext in (".h", ".cpp"):
                bare[(os.path.join(d, stem + ext), old)] = new
    for where, owner, old, new in PRIVATE_FIELDS:
        for o in all_owner_names(owner):
            members[(o, old)] = new
        for f in OWNER_FILES[owner]:
            bare[(f, old)] = new
    for old, new, files, quals in SCOPED:
        for q in quals:
            for o in all_owner_names(q):
                members[(o, old)] = new
    for f, old, new in LOCAL_CONSTANTS:
        bare[(f, old)] = new
    return members, bare


def last_name(type_text):
    t = re.sub(r"<.*>", "", type_text)
    t = re.sub(r"\b(const|volatile|struct|class|union|enum)\b", "", t)
    t = t.replace("*", "").replace("&", "").strip()
    return t.split("::")[-1].strip()


DIAGNOSTICS = [
    # GCC
    (re.compile(r"'(?P<type>[^']+)'(?: \{aka '(?P<aka>[^']+)'\})? has no member named '(?P<old>\w+)'"), True),
    (re.compile(r"'(?P<type>[^']+)'(?: \{aka '(?P<aka>[^']+)'\})? has no non-static data member named '(?P<old>\w+)'"), True),
    (re.compile(r"'(?P<old>\w+)' is not a member of '(?P<type>[^']+)'"), True),
    (re.compile(r"'(?P<old>\w+)' was not declared in this scope"), False),
    (re.compile(r"'(?P<old>\w+)' does not name a type"), False),
    # clang
    (re.compile(r"no member named '(?P<old>\w+)' in '(?P<type>[^']+)'"), True),
    (re.compile(r"field designator '(?P<old>\w+)' does not refer to any field in type '(?P<type>[^']+)'"), True),
    (re.compile(r"use of undeclared identifier '(?P<old>\w+)'"), False),
    (re.compile(r"unknown type name '(?P<old>\w+)'"), False),
]
ERROR_LINE = re.compile(r"^(?P<file>[^:\s][^:]*):(?P<line>\d+):(?P<col>\d+): (?:fatal )?error: (?P<msg>.*)$")


def compile_dbs(jobs):
    gcc = os.path.join(ROOT, "build", "rename-gcc")
    clang = os.path.join(ROOT, "build", "rename-clang")
    common = ["-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"]
    # With the precompiled headers' text included as the real build includes it (no .gch
    # is built), a source sees the same headers as in the real build.
    configs = [
        (gcc, common + ["-DOCELIS_BUILD_TESTS=ON", "-DOCELIS_BUILD_BENCH=ON"], None),
        (clang, common + ["-DOCELIS_PCH=OFF", "-DCMAKE_C_COMPILER=clang",
                          "-DCMAKE_CXX_COMPILER=clang++",
                          "-DOCELIS_BUILD_TESTS=OFF", "-DOCELIS_BUILD_FUZZ=ON",
                          "-DOCELIS_BUILD_APP=OFF"], "fuzz/"),
    ]
    entries, seen = [], set()
    for build, args, only in configs:
        r = subprocess.run(["cmake", "-S", ROOT, "-B", build] + args,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if r.returncode != 0:
            print(f"rename-names: cannot configure {build}:\n{r.stderr}", file=sys.stderr)
            continue
        infos = []
        for base, _, names in os.walk(build):
            if "AutogenInfo.json" in names and base.endswith("_autogen.dir"):
                infos.append(os.path.join(base, "AutogenInfo.json"))
        with ThreadPoolExecutor(jobs) as ex:
            list(ex.map(lambda i: subprocess.run(["cmake", "-E", "cmake_autogen", i, "Debug"],
                                                 stdout=subprocess.DEVNULL), infos))
        with open(os.path.join(build, "compile_commands.json")) as f:
            for e in json.load(f):
                path = os.path.normpath(os.path.join(e["directory"], e["file"]))
                rel = os.path.relpath(path, ROOT)
                if not rel.startswith(DIRS) or "_autogen" in rel or rel in seen:
                    continue
                if only and not rel.startswith(only):
                    continue
                seen.add(rel)
                entries.append(e)
    return entries


def syntax_command(e):
    args = e.get("arguments") or __import__("shlex").split(e["command"])
    out, skip = [], False
    for a in args:
        if skip:
            skip = False
            continue
        if a in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        if a in ("-c", "-MD", "-MMD", "-Werror") or a.startswith("-Werror="):
            continue
        out.append(a)
    clang = "clang" in os.path.basename(out[0])
    out += ["-fsyntax-only"] + (["-ferror-limit=0"] if clang else
                                ["-fmax-errors=0", "-fdiagnostics-column-unit=byte"])
    return out


def check(e):
    env = dict(os.environ, LC_ALL="C")  # plain quotes in the messages
    r = subprocess.run(syntax_command(e), cwd=e["directory"], stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, text=True, env=env)
    return e, r.returncode, r.stdout.replace("\u2018", "'").replace("\u2019", "'")


def step_compiler(jobs, max_rounds=6):
    members, bare = member_table()
    entries = compile_dbs(jobs)
    print(f"rename-names: step 2 checks {len(entries)} sources", file=sys.stderr)
    todo = entries
    for round_no in range(1, max_rounds + 1):
        with ThreadPoolExecutor(jobs) as ex:
            results = list(ex.map(check, todo))
        fixes, failing, unknown = {}, [], set()
        for e, rc, out in results:
            if rc != 0:
                failing.append(e)
            for line in out.splitlines():
                m = ERROR_LINE.match(line)
                if not m:
                    continue
                path = os.path.normpath(os.path.join(e["directory"], m.group("file")))
                rel = os.path.relpath(path, ROOT)
                new = None
                for pat, typed in DIAGNOSTICS:
                    d = pat.search(m.group("msg"))
                    if not d:
                        continue
                    old = d.group("old")
                    if typed:
                        names = {last_name(d.group("type"))}
                        if "aka" in d.groupdict() and d.group("aka"):
                            names.add(last_name(d.group("aka")))
                        new = next((members[(n, old)] for n in names if (n, old) in members), None)
                    else:
                        new = bare.get((rel, old))
                    break
                if new and rel.startswith(DIRS):
                    fixes[(rel, int(m.group("line")), int(m.group("col")), old)] = new
                else:
                    unknown.add(f"{rel}:{m.group('line')}:{m.group('col')}: {m.group('msg')}")
        applied = apply_fixes(fixes)
        print(f"rename-names: round {round_no}: {len(failing)} sources with errors, "
              f"{applied} uses renamed", file=sys.stderr)
        if not applied:
            for u in sorted(unknown):
                print(u, file=sys.stderr)
            return not failing
        todo = failing
    return False


def apply_fixes(fixes):
    by_file = {}
    for (rel, line, col, old), new in fixes.items():
        by_file.setdefault(rel, []).append((line, col, old, new))
    applied = 0
    for rel, items in by_file.items():
        path = os.path.join(ROOT, rel)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        code, _ = code_mask(text)
        starts = [0] + [i + 1 for i, c in enumerate(text) if c == "\n"]
        repl = {}
        for line, col, old, new in items:
            a = starts[line - 1]
            b = starts[line] - 1 if line < len(starts) else len(text)
            hits = [a + w.start() for w in re.finditer(r"\b" + re.escape(old) + r"\b", code[a:b])]
            if not hits:
                continue
            at = a + col - 1
            pos = next((h for h in hits if h >= at), None)
            if pos is None:
                pos = hits[-1]
            repl[pos] = (pos + len(old), new)
        if repl:
            text = apply(text, sorted((s, e, n) for s, (e, n) in repl.items()))
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            CHANGED.add(rel)
            applied += len(repl)
    return applied


# --- afterwards ------------------------------------------------------------------------

def report_comments(files):
    plain = {o for o in TYPES if not TWO_HUMPS.match(o)}
    scoped = {}
    for o, _, fs, _ in SCOPED:
        for f in fs:
            scoped.setdefault(f, set()).add(o)
    for _, owner, o, _ in PRIVATE_FIELDS:
        for f in OWNER_FILES[owner]:
            scoped.setdefault(f, set()).add(o)
    hits = []
    for rel in files:
        olds = {o for o in plain | scoped.get(rel, set()) if not TWO_HUMPS.match(o) and len(o) > 3}
        if not olds:
            continue
        pat = re.compile(r"\b(" + "|".join(sorted(olds, key=len, reverse=True)) + r")\b")
        with open(os.path.join(ROOT, rel), encoding="utf-8") as f:
            text = f.read()
        _, comments = code_mask(text)
        for a, b in comments:
            for m in pat.finditer(text, a, b):
                hits.append(f"{rel}:{text.count(chr(10), 0, m.start()) + 1}: {m.group(1)}")
    if hits:
        print("rename-names: comments that may name an old name (judge each):", file=sys.stderr)
        for h in hits:
            print("  " + h, file=sys.stderr)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--text-only", action="store_true", help="step 1 only")
    ap.add_argument("--dry-run", action="store_true", help="print step 1's changes, write nothing")
    ap.add_argument("--jobs", type=int, default=2)
    a = ap.parse_args()
    files = source_files()
    with open(os.path.join(ROOT, "src/imaging/Bitmap.h"), encoding="utf-8") as f:
        done = re.search(r"\bstruct TBitmap\b", f.read()) is not None
    if done:
        # Step 1 is not idempotent (JpegImage's field bitmap becomes Bitmap, a type's old name).
        print("rename-names: step 1 was applied already; step 2 only", file=sys.stderr)
    else:
        step_text(files, a.dry_run)
    if a.dry_run:
        return 0
    ok = True
    if not a.text_only:
        ok = step_compiler(a.jobs)
    if CHANGED:
        # Longer names move line breaks.
        subprocess.run(["clang-format", "-i"] + sorted(os.path.join(ROOT, f) for f in CHANGED),
                       check=False)
    report_comments(files)
    if not ok:
        print("rename-names: errors remain (listed above)", file=sys.stderr)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
