// Plays the viewer under the name it was copied to: "natpaths PROJECTFILE" prints the user's folder
// and the catalogue's user folder, one a line, as the native configuration finds them.
#include <QString>
#include <cstdio>
#include <exception>

#include "config/EtkConfigNat.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: natpaths PROJECTFILE\n");
        return 2;
    }
    try {
        TEtkConfigNat nat(nullptr);
        nat.SetMainConfigFile(QString::fromLocal8Bit(argv[1]), true);
        std::printf("%s\n%s\n", nat.GetUserPath().toUtf8().constData(), nat.GetNVKUserPath().toUtf8().constData());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
    return 0;
}
