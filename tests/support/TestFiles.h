// Whole-file reads and writes for tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <string_view>

namespace ocelis::test {

// The file's bytes; empty when it cannot be read.
inline std::string ReadFileBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes the bytes, creating the folders on the way.
inline void WriteFileBytes(const std::filesystem::path& p, std::string_view bytes) {
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The test's own home folder (ctest sets OCELIS_TEST_HOME), else the temporary folder.
inline std::filesystem::path TestHome() {
    const char* home = std::getenv("OCELIS_TEST_HOME");
    return home ? std::filesystem::path(home) : std::filesystem::temp_directory_path();
}

// An empty folder <home>/<group>/<name>; the name defaults to the running test's.
inline std::filesystem::path FreshTestDir(const std::string& group, std::string name = {}) {
    if (name.empty())
        name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::filesystem::path dir = TestHome() / group / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace ocelis::test
