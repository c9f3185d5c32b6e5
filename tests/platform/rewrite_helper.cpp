// Rewrites a file of a folder over and over, as the program rewrites favorites.txt when a
// favourite is removed, until it is killed: rewrite_helper <folder> <name> <file a> <file b>.
// Each rewrite gives the file the whole of a or of b, in turns; at most 10,000 rewrites.
#include <fstream>
#include <iterator>
#include <string>

#include "platform/posix_text_files.h"

int main(int argc, char** argv) {
    if (argc != 5)
        return 2;
    const auto slurp = [](const char* path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string contents[2] = {slurp(argv[3]), slurp(argv[4])};
    qova::platform::PosixTextFiles files(argv[1]);
    for (int i = 0; i < 10000; ++i) {
        if (!files.replace(argv[2], contents[i % 2]))
            return 1;
    }
    return 0;
}
