// The worker behind mp3OpenNzb: lists the songs of an NZB file as a search lists songs.
#pragma once

#include <string>

namespace corvane {

// Runs on the calling (worker) thread. Reports 9000 "Reading <file name>...", progress (9004)
// while the file is read, then one 9009 SongLine per song file and 9003 "DONE"; or, with nothing
// listed, 9001 "Cannot list <file name>: <why>.", "Operation cancelled by user." or "No Songs."
// (an NZB of files none of which is a song). The whole file is read and checked before the first
// song is sent, so a file refused anywhere lists nothing.
void nzbListWorker(const std::string &path);

}  // namespace corvane
