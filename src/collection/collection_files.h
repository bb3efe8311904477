#pragma once
#include <functional>
#include <string>
#include <string_view>

// Where the collection's song-length database and tune information list
// are for one tune, and the collection's root (for the tune's path in the
// collection). Each string is empty when nothing was found.
struct CollectionFiles {
    std::string songlengths;  // Songlengths.md5
    std::string stil;         // STIL.txt
    std::string root;         // the folder holding DOCUMENTS; the STIL keys are paths below it
};

// The collection keeps both files in a folder named DOCUMENTS below its root.
inline constexpr std::string_view collection_documents = "DOCUMENTS";
inline constexpr std::string_view songlengths_file_name = "Songlengths.md5";
inline constexpr std::string_view stil_file_name = "STIL.txt";

// Finds the files for the tune at tune_path, a pure function of its
// arguments (exists tells whether a path can be read):
// - the database: songlengths_option when it is not empty (taken as given,
//   so that a wrong path is reported, not passed over); else
//   HVSC_BASE/DOCUMENTS/Songlengths.md5 when hvsc_base is not empty and that
//   exists; else the first DOCUMENTS/Songlengths.md5 found in the tune's
//   folder or a folder above it;
// - STIL.txt and the root: STIL.txt beside the option's file, when that
//   folder is named DOCUMENTS (the root is the folder above it); else
//   HVSC_BASE/DOCUMENTS/STIL.txt (the root is HVSC_BASE); else the first
//   DOCUMENTS/STIL.txt found walking up from the tune's folder (the root is
//   the folder holding that DOCUMENTS). A root is kept only with a STIL.txt.
// Paths are joined with '/' (and also split at '\' on Windows); "." parts
// are dropped and ".." parts go up a folder. tune_path should be absolute: a
// relative one is walked up only as far as the folder it is relative to.
CollectionFiles find_collection_files(std::string_view songlengths_option, std::string_view hvsc_base,
                                      std::string_view tune_path,
                                      const std::function<bool(const std::string&)>& exists);

// The tune's path in the collection: "/" and its path below root with '/'
// between the parts ("/MUSICIANS/H/Hubbard_Rob/Commando.sid"). Empty when
// the tune is not below root. "." parts are dropped and ".." parts go up a
// folder, in both paths.
std::string collection_path(std::string_view root, std::string_view tune_path);
