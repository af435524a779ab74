// The protocol limit of a search: a bare client that sends the search's "xover" batches of 51
// numbers and throws the lines away.
#pragma once

#include <cstdint>
#include <string>

struct RawXoverResult {
    bool ok = false;
    std::string error;
    uint64_t lines = 0;
    double seconds = 0;  // from the first "xover" to the end of the last reply
};

RawXoverResult readGroupOverviewRaw(int port, const std::string &group);
// The bound a pipelining client approaches: one "xover" of the group's whole range.
RawXoverResult readWholeRangeRaw(int port, const std::string &group);
// The bound of a client of several connections: the whole range cut into `pieces` equal ranges,
// each read with one "xover" on a connection of its own, all at once; timed from the first
// connect to the end of the last reply.
RawXoverResult readRangeInPiecesRaw(int port, const std::string &group, int pieces);
