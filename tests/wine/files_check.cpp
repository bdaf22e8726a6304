// The Windows file API of the program under Wine, for the smoke test: deletes the tree named on
// the command line with the program's own plat::DeleteTree and prints the result as a JSON line.
// The smoke test builds the tree beforehand, with a link to a folder outside it, and checks that
// what the link points to is still there afterwards.
//
//   files_check delete-tree C:\vutree\doomed
#include <cstdio>
#include <string>

#include "platform/files.h"

int main(int argc, char** argv) {
    if (argc != 3 || std::string(argv[1]) != "delete-tree") {
        std::printf("{\"kind\":\"error\",\"message\":\"usage: files_check delete-tree FOLDER\"}\n");
        return 2;
    }
    bool deleted = vu::plat::DeleteTree(argv[2]);
    std::printf("{\"kind\":\"delete_tree\",\"deleted\":%s}\n", deleted ? "true" : "false");
    return 0;
}
