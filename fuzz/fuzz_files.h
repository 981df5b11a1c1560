// What the file-reading fuzzers share: a private temporary folder (under
// $TMPDIR, else /tmp; a memory file system makes the runs much faster),
// removed at exit, and writing an input there as a whole file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// The folder, made on the first call.
inline const std::string& fuzz_folder(const char* prefix) {
    static std::string folder;
    if (folder.empty()) {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "_XXXXXX";
        if (!mkdtemp(pattern.data())) abort();
        folder = pattern;
        atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        });
    }
    return folder;
}

// Replaces the file with the bytes (unlinked first: truncating a file being
// written back is slow on ext4), making its folder when needed.
inline void fuzz_write_file(const std::string& path, const uint8_t* data, size_t size) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    remove(path.c_str());
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
}
