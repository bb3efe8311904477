#pragma once
// A small tune collection laid out as the big public one is: tunes below
// MUSICIANS, and DOCUMENTS/Songlengths.md5 and DOCUMENTS/STIL.txt at its
// root, with the lengths a test chooses.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "collection/tune_md5.h"
#include "psid_builder.h"

class SmallCollection {
public:
    SmallCollection() : root_(std::filesystem::path(temp_folder()) / "collection") {
        std::filesystem::create_directories(root_ / "DOCUMENTS");
    }

    const std::filesystem::path& root() const { return root_; }

    // Copies a tune of tests/tunes to MUSICIANS/<path>; lengths, when not
    // empty, is its database line's right side ("0:01 0:02.500").
    std::string add(const std::string& tune, const std::string& path, const std::string& lengths) {
        std::filesystem::path file = root_ / "MUSICIANS" / path;
        std::filesystem::create_directories(file.parent_path());
        std::filesystem::copy_file(std::string(ZARVEL_TUNES_DIR) + "/" + tune, file,
                                   std::filesystem::copy_options::overwrite_existing);
        list(file.string(), lengths);
        return file.string();
    }

    // Enters a tune already written somewhere below the root.
    void list(const std::string& file, const std::string& lengths) {
        if (lengths.empty()) return;
        Md5Digest digest;
        int error_number = 0;
        md5_of_file(file.c_str(), digest, error_number);
        database_ += "; " + file + "\n" + md5_hex(digest) + "=" + lengths + "\n";
        std::ofstream(root_ / "DOCUMENTS" / "Songlengths.md5", std::ios::binary) << database_;
    }

    void stil(const std::string& text) { std::ofstream(root_ / "DOCUMENTS" / "STIL.txt", std::ios::binary) << text; }

private:
    std::filesystem::path root_;
    std::string database_ = "[Database]\n";
};
