// Where saved downloads go, and names for them that never replace a file
// already there.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vorbek {

// "trace.json", 2 -> "trace (2).json"; a name without an extension, or a
// dot file, gets the number at its end. 0 gives the name unchanged.
std::string numbered_file_name(std::string_view name, int number);

// PATH itself if TAKEN says it is free, else the first free of its numbered
// names, numbered in the part after the last '/' or backslash, as
// numbered_file_name does; empty when every number up to 9999 is taken.
std::string free_numbered_path(std::string_view path,
                               const std::function<bool(const std::string&)>& taken);

// Where saved files go: the configured download directory (empty if none),
// else HOME/Downloads. A download directory that is HOME itself counts as
// none: xdg-user-dirs writes that when the folder was missing, and saved
// files would then land loose in the home directory. Paths use '/'.
std::string download_directory_for(std::string_view configured, std::string_view home);

// The lines that tell the user where a download went, for an engine that
// shows no download list of its own: being saved (when its end will not be
// known), saved, or not saved and why.
std::string download_saving_line(std::string_view path);
std::string download_saved_line(std::string_view path);
std::string download_failed_line(std::string_view path, std::string_view reason);

}  // namespace vorbek
