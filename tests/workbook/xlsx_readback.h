#pragma once
// Reads a workbook back with an independent reader (openpyxl under Debian's python3).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
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
        if (!has(key))
            throw std::runtime_error("the reader found no cell " + key);
        return cells.at(key);
    }
    bool has(const std::string& key) const { return cells.count(key) != 0; }

    // A line per cell of the sheet: "ref type json format", or "ref -" where there is none.
    std::string describe(const std::string& sheet, const std::vector<std::string>& refs) const
    {
        std::string s;
        for (const std::string& ref : refs) {
            const auto it = cells.find(sheet + "!" + ref);
            const CellDump& c = it == cells.end() ? CellDump { "-", "", "" } : it->second;
            s += ref + " " + c.type + (c.json.empty() ? "" : " " + c.json + " " + c.format) + "\n";
        }
        return s;
    }
};

inline XlsxDump readBack(const std::filesystem::path& file)
{
    const std::string command = "timeout 30 /usr/bin/python3 '" IOS_SOURCE_DIR "/tests/workbook/dump_xlsx.py' '" +
                                file.string() + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot start the reader");
    std::string output;
    char buffer[4096];
    for (std::size_t n = 0; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the reader refused " + file.string() + ":\n" + output);

    XlsxDump dump;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> f; // tab-separated fields, a trailing empty one included
        std::istringstream in(line + "\t");
        for (std::string field; std::getline(in, field, '\t');)
            f.push_back(field);
        const std::string key = f.size() > 2 ? f[1] + "!" + f[2] : "";
        if (f[0] == "sheets")
            dump.sheets.assign(f.begin() + 1, f.end());
        else if (f[0] == "cell" && f.size() == 6)
            dump.cells[key] = { f[3], f[4], f[5] };
        else if (f[0] == "width" && f.size() == 4)
            dump.widths[key] = std::stod(f[3]);
        else if (f[0] == "name" && f.size() == 3)
            dump.names[f[1]] = f[2];
        else if (f[0] == "printarea" && f.size() == 3)
            dump.printAreas[f[1]] = f[2];
        else
            throw std::runtime_error("unexpected reader output: " + line);
    }
    return dump;
}

inline std::string fileText(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

inline std::chrono::local_seconds at(int y, unsigned m, unsigned d, int hh = 0, int mm = 0, int ss = 0)
{
    using namespace std::chrono;
    return local_days { year { y } / month { m } / day { d } } + hours { hh } + minutes { mm } +
        seconds { ss };
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
