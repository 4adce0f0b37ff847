// Lays the demo workspace: a copy of the supplied database in a fresh folder.
#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-demo-workspace FOLDER\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path ws(argv[1]);
    fs::create_directories(ws);
    if (!fs::exists(ws / "iOstrivaneDB.db"))
        fs::copy_file(IOS_SUPPLIED_DB, ws / "iOstrivaneDB.db");
    std::printf("demo workspace: %s\n", ws.c_str());
    return 0;
}
