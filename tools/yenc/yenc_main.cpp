// harbeat-yenc FILE NAME PARTS OUTPUT-PREFIX [LINE-LENGTH]: writes the yEnc bodies of FILE, posted
// under NAME in PARTS parts, as OUTPUT-PREFIX.1, OUTPUT-PREFIX.2, ... (CR LF line ends).
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "yenc/yenc_encoder.h"

int main(int argc, char **argv) {
    if (argc < 5 || argc > 6) {
        std::cerr << "usage: harbeat-yenc FILE NAME PARTS OUTPUT-PREFIX [LINE-LENGTH]\n";
        return 2;
    }
    const int parts = std::atoi(argv[3]);
    const int lineLength = argc == 6 ? std::atoi(argv[5]) : harbeat::yenc::kDefaultLineLength;
    if (parts < 1 || parts > 999 || lineLength < 2 || lineLength > 997) {
        std::cerr << "harbeat-yenc: PARTS must be 1-999 and LINE-LENGTH 2-997\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "harbeat-yenc: cannot read " << argv[1] << "\n";
        return 1;
    }
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto bodies = harbeat::yenc::encodeParts(file, argv[2], parts, lineLength);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const std::string path = std::string(argv[4]) + "." + std::to_string(i + 1);
        std::ofstream out(path, std::ios::binary);
        if (!(out << bodies[i])) {
            std::cerr << "harbeat-yenc: cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}
