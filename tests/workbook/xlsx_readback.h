#pragma once
// Reads a workbook back with an independent reader (openpyxl under Debian's python3).
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace workbook_test {

struct CellDump {
    std::string type; // text, number, datetime, blank, bool
    std::string json; // the value as JSON: "text", 1.5, "2026-12-06T17:20:00", null
    std::string format;
};

struct XlsxDump {
    std::vector<std::string> sheets;
    std::map<std::string, CellDump> cells;   // "Sheet!B3"
    std::map<std::string, double> widths;    // "Sheet!A"
    std::map<std::string, std::string> printAreas;
    std::map<std::string, std::string> names; // defined names

    const CellDump& cell(const std::string& key) const
    {
        const auto it = cells.find(key);
        if (it == cells.end())
            throw std::runtime_error("the reader found no cell " + key);
        return it->second;
    }
    bool has(const std::string& key) const { return cells.count(key) != 0; }
};

inline std::vector<std::string> splitTabs(const std::string& line)
{
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t'))
        out.push_back(field);
    if (!line.empty() && line.back() == '\t')
        out.push_back("");
    return out;
}

inline XlsxDump readBack(const std::filesystem::path& file)
{
    const std::string command = "/usr/bin/python3 '" IOS_SOURCE_DIR "/tests/workbook/dump_xlsx.py' '" +
                                file.string() + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot start the reader");
    std::string output;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    const int status = pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the reader refused " + file.string() + ":\n" + output);

    XlsxDump dump;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto f = splitTabs(line);
        if (f.empty())
            continue;
        if (f[0] == "sheets")
            dump.sheets.assign(f.begin() + 1, f.end());
        else if (f[0] == "cell" && f.size() == 6)
            dump.cells[f[1] + "!" + f[2]] = {f[3], f[4], f[5]};
        else if (f[0] == "width" && f.size() == 4)
            dump.widths[f[1] + "!" + f[2]] = std::stod(f[3]);
        else if (f[0] == "name" && f.size() == 3)
            dump.names[f[1]] = f[2];
        else if (f[0] == "printarea" && f.size() == 3)
            dump.printAreas[f[1]] = f[2];
        else
            throw std::runtime_error("unexpected reader output: " + line);
    }
    return dump;
}

// A fresh, empty folder for one test, removed afterwards.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name)
        : path_(std::filesystem::temp_directory_path() / ("workbook_test_" + name + "_" + std::to_string(getpid())))
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            names.push_back(e.path().filename().string());
        return names;
    }

private:
    std::filesystem::path path_;
};

} // namespace workbook_test
