#pragma once
// Small .xlsx packages built part by part (with libzip), for templates of shapes that other
// producers write: prefixed namespaces, rows without positions, formulas with a calculation
// chain, the 1904 date system.
#include <string>
#include <vector>
#include <zip.h>

namespace workbook_test {

struct PackagePart {
    std::string name;
    std::string data;
};

inline std::string buildPackage(const std::vector<PackagePart>& parts)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* z = zip_open_from_source(source, ZIP_TRUNCATE, &error);
    zip_source_keep(source);
    for (const PackagePart& p : parts) {
        zip_source_t* data = zip_source_buffer(z, p.data.data(), p.data.size(), 0);
        if (data && zip_file_add(z, p.name.c_str(), data, 0) < 0)
            zip_source_free(data); // a name the archive refuses: the part is left out
    }
    zip_close(z);
    std::string bytes;
    zip_source_open(source);
    char buffer[65536];
    for (zip_int64_t n = 0; (n = zip_source_read(source, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<std::size_t>(n));
    zip_source_close(source);
    zip_source_free(source);
    zip_error_fini(&error);
    return bytes;
}

// The part of that name, added empty when there is none.
inline PackagePart& partNamed(std::vector<PackagePart>& parts, const std::string& name)
{
    for (PackagePart& p : parts)
        if (p.name == name)
            return p;
    return parts.emplace_back(PackagePart{name, {}});
}

// The parts of a one-sheet workbook around the given sheet XML, in the 1904 date system and
// with a calculation chain.
inline std::vector<PackagePart> oneSheetParts(const std::string& sheetXml)
{
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string ct = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
    std::vector<PackagePart> parts;
    parts.push_back({"[Content_Types].xml",
                     R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
                     R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
                     R"(<Default Extension="xml" ContentType="application/xml"/>)"
                     R"(<Override PartName="/xl/workbook.xml" ContentType=")" + ct + R"(sheet.main+xml"/>)"
                     R"(<Override PartName="/xl/worksheets/sheet1.xml" ContentType=")" + ct + R"(worksheet+xml"/>)"
                     R"(<Override PartName="/xl/styles.xml" ContentType=")" + ct + R"(styles+xml"/>)" +
                         R"(<Override PartName="/xl/calcChain.xml" ContentType=")" + ct + R"(calcChain+xml"/></Types>)"});
    parts.push_back({"_rels/.rels",
                     R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                     R"(<Relationship Id="rId1" Type=")" + rel + R"(/officeDocument" Target="xl/workbook.xml"/></Relationships>)"});
    parts.push_back({"xl/workbook.xml", R"(<?xml version="1.0" encoding="UTF-8"?><workbook xmlns=")" + main +
                                            R"(" xmlns:r=")" + rel + R"("><workbookPr date1904="1"/>)"
                                            R"(<sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets>)"
                                            R"(<definedNames><definedName name="_xlnm.Print_Area" localSheetId="0">Sheet1!$A$1:$A$16</definedName></definedNames></workbook>)"});
    parts.push_back({"xl/_rels/workbook.xml.rels",
                     R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                     R"(<Relationship Id="rId1" Type=")" + rel + R"(/worksheet" Target="worksheets/sheet1.xml"/>)"
                     R"(<Relationship Id="rId2" Type=")" + rel + R"(/styles" Target="/xl/styles.xml"/>)" +
                         R"(<Relationship Id="rId3" Type=")" + rel + R"(/calcChain" Target="calcChain.xml"/></Relationships>)"});
    parts.push_back({"xl/styles.xml", R"(<?xml version="1.0" encoding="UTF-8"?><styleSheet xmlns=")" + main + R"(">)"
                                      R"(<fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>)"
                                      R"(<fills count="1"><fill><patternFill patternType="none"/></fill></fills>)"
                                      R"(<borders count="1"><border/></borders>)"
                                      R"(<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>)"
                                      R"(<cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs>)"
                                      R"(<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles></styleSheet>)"});
    parts.push_back({"xl/worksheets/sheet1.xml", sheetXml});
    parts.push_back({"xl/calcChain.xml", R"(<?xml version="1.0" encoding="UTF-8"?><calcChain xmlns=")" + main +
                                                 R"("><c r="A1" i="1"/></calcChain>)"});
    return parts;
}

} // namespace workbook_test
