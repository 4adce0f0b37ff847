// Fuzz target of the template reader. An input starting with "PK" is a whole .xlsx file.
// Any other input is a workbook in parts, so that every part is reached past the zip's
// checksums: the XML of the first sheet, then optionally further parts, each after a line
// "@@ <part name>", that replace or add to the parts of an otherwise sound one-sheet workbook
// (styles, workbook, relationships, content types, calculation chain); a part given empty is
// left out. The template is filled as the report is; one that fills without an error must
// give a workbook that opens and fills again, and that still holds every part of the
// template that one of its relationships names, else the target aborts.
#include "workbook/package_builder.h"
#include "workbook/template_workbook.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <set>
#include <string>
#include <string_view>
#include <vector>
#include <zip.h>

namespace {

std::string packageOf(std::string_view input)
{
    constexpr std::string_view marker = "\n@@ ";
    std::size_t end = input.find(marker);
    auto parts = workbook_test::oneSheetParts(std::string(input.substr(0, end)));
    while (end != std::string_view::npos) {
        const std::size_t nameStart = end + marker.size();
        const std::size_t nameEnd = std::min(input.find('\n', nameStart), input.size());
        const std::size_t bodyStart = std::min(nameEnd + 1, input.size());
        end = input.find(marker, nameEnd);
        const std::string name(input.substr(nameStart, nameEnd - nameStart));
        const std::string_view body = end == std::string_view::npos ? input.substr(bodyStart)
                                      : end > bodyStart           ? input.substr(bodyStart, end - bodyStart)
                                                                  : std::string_view();
        if (!name.empty())
            workbook_test::partNamed(parts, name).data = body;
    }
    std::erase_if(parts, [](const workbook_test::PackagePart& p) { return p.data.empty(); });
    return workbook_test::buildPackage(parts);
}

void fill(workbook::TemplateWorkbook& book)
{
    book.renameSheet(0, "Sheet1");
    book.setText("Sheet1", "C3", "code");
    book.setText("Sheet1", "A1", "");
    book.setNumber("Sheet1", 2, 2, 1.5);
    book.setDateTime("Sheet1", "B9", std::chrono::local_seconds{});
    book.setNumberFormat("Sheet1", "B2", "0.000");
}

// A package read back on its own.
struct Package {
    zip_t* zip = nullptr;
    explicit Package(const std::string& bytes)
    {
        zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, nullptr);
        zip = source ? zip_open_from_source(source, ZIP_RDONLY, nullptr) : nullptr;
        if (!zip && source)
            zip_source_free(source);
    }
    ~Package()
    {
        if (zip)
            zip_discard(zip);
    }
    std::set<std::string> names() const
    {
        std::set<std::string> out;
        for (zip_int64_t i = 0; zip && i < zip_get_num_entries(zip, 0); ++i)
            out.insert(zip_get_name(zip, static_cast<zip_uint64_t>(i), 0));
        return out;
    }
    // The text of a part of at most 2 MB; "" when it is larger or cannot be read.
    std::string text(const std::string& name) const
    {
        zip_stat_t st;
        if (zip_stat(zip, name.c_str(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) || st.size > (2u << 20))
            return "";
        std::string out(st.size, '\0');
        zip_file_t* f = zip_fopen(zip, name.c_str(), 0);
        const bool read = f && zip_fread(f, out.data(), st.size) == static_cast<zip_int64_t>(st.size);
        if (f)
            zip_fclose(f);
        return read ? out : "";
    }
};

// "a/b/../c" from folder "a" and target "b/../c"; a target from '/' starts at the root.
std::string resolved(const std::string& folder, const std::string& target)
{
    const std::string path = !target.empty() && target[0] == '/' ? target.substr(1) : folder + "/" + target;
    std::vector<std::string> segments;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string segment = path.substr(start, end - start);
        if (segment == ".." && !segments.empty())
            segments.pop_back();
        else if (!segment.empty() && segment != "." && segment != "..")
            segments.push_back(segment);
        start = end + 1;
    }
    std::string out;
    for (const std::string& s : segments)
        out += (out.empty() ? "" : "/") + s;
    return out;
}

// A part of the template that the written workbook lacks, and that a relationship of the
// written workbook still names; "" when there is none. Relationship parts that a filler
// would not read (larger than 2 MB, declaring a DTD) are passed over.
std::string lostPart(const std::string& templateBytes, const std::string& written)
{
    const Package before(templateBytes), after(written);
    std::set<std::string> lost;
    const std::set<std::string> kept = after.names();
    for (const std::string& name : before.names())
        if (!kept.count(name))
            lost.insert(name);
    if (lost.empty())
        return "";
    for (const std::string& name : kept) {
        // "<folder>/_rels/<part>.rels" holds the relationships of "<folder>/<part>".
        const std::size_t slash = name.rfind('/');
        const std::string dir = slash == std::string::npos ? "" : name.substr(0, slash);
        if (!name.ends_with(".rels") || !(dir == "_rels" || dir.ends_with("/_rels")))
            continue;
        const std::string folder = dir.substr(0, dir.size() == 5 ? 0 : dir.size() - 6);
        const std::string text = after.text(name);
        if (text.empty() || text.find("<!DOCTYPE") != std::string::npos)
            continue;
        xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), name.c_str(), "UTF-8",
                                    XML_PARSE_NONET | XML_PARSE_IGNORE_ENC | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        std::string found;
        for (xmlNode* r = doc ? xmlDocGetRootElement(doc)->children : nullptr; r && found.empty(); r = r->next) {
            if (r->type != XML_ELEMENT_NODE || !xmlStrEqual(r->name, BAD_CAST "Relationship"))
                continue;
            xmlChar* target = xmlGetNoNsProp(r, BAD_CAST "Target");
            xmlChar* mode = xmlGetNoNsProp(r, BAD_CAST "TargetMode");
            const std::string part = target ? resolved(folder, reinterpret_cast<const char*>(target)) : "";
            if (!(mode && xmlStrEqual(mode, BAD_CAST "External")) && lost.count(part))
                found = part + " (named in " + name + ")";
            xmlFree(target);
            xmlFree(mode);
        }
        if (doc)
            xmlFreeDoc(doc);
        if (!found.empty())
            return found;
    }
    return "";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string templateBytes = input.starts_with("PK") ? std::string(input) : packageOf(input);
    std::string written;
    try {
        auto book = workbook::TemplateWorkbook::fromBytes(templateBytes, "fuzz.xlsx");
        fill(book);
        written = book.toBytes();
    } catch (const workbook::WorkbookError&) {
        return 0; // refused input: the expected outcome for most
    }
    if (const std::string part = lostPart(templateBytes, written); !part.empty()) {
        std::fprintf(stderr, "a filled template lost a part its relationships name: %s\n", part.c_str());
        std::abort();
    }
    // What we write must open and fill again. It is held to the limits it is read under, so
    // the same fill writes it again; a new cell may be what passes them.
    try {
        auto again = workbook::TemplateWorkbook::fromBytes(written, "again.xlsx");
        fill(again);
        again.toBytes();
        again.setText("Sheet1", "D4", "again");
    } catch (const workbook::WorkbookError& e) {
        std::fprintf(stderr, "a filled template does not fill again: %s\n", e.what());
        std::abort();
    }
    return 0;
}
