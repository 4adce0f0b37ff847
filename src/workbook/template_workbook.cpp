#include "workbook/template_workbook.h"

#include "workbook/cell_ref.h"
#include "workbook/file_commit.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <unordered_set>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <zip.h>

namespace workbook {

namespace {

namespace fs = std::filesystem;

// Bounds on what a template may make us hold. The file is held whole while the filled copy
// is built beside it, and a report template has tens of parts. Parts that are only copied
// are never inflated; each part that is parsed becomes a tree of many times its size, so
// those parts have a much lower limit, and together a budget of what their trees cost.
constexpr std::uintmax_t kMaxTemplateBytes = 32u << 20;
constexpr std::size_t kMaxParts = 2000;
constexpr std::size_t kMaxZipEnds = 4; // end records libzip may try; a sound file has one
constexpr std::size_t kMaxParsedPartBytes = 2u << 20;
constexpr std::uint64_t kMaxTreeBytes = 64u << 20;
// libxml2 compares each attribute of an element with the ones before it, looks a namespace
// up through every declaration in scope, and keeps names in a table that slows down past
// some tens of thousands: all are kept small.
constexpr std::size_t kMaxAttributesPerElement = 128;
constexpr std::size_t kMaxNamespacesInScope = 128;
constexpr std::size_t kMaxNames = 10000;

constexpr const char* kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kStrictRelNs = "http://purl.oclc.org/ooxml/officeDocument/relationships";

const xmlChar* X(const char* s) { return reinterpret_cast<const xmlChar*>(s); }

struct XmlDocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using XmlDoc = std::unique_ptr<xmlDoc, XmlDocFree>;

bool isElement(const xmlNode* n, const char* localName)
{
    return n && n->type == XML_ELEMENT_NODE && xmlStrEqual(n->name, X(localName));
}

std::vector<xmlNode*> children(xmlNode* parent, const char* localName)
{
    std::vector<xmlNode*> out;
    for (xmlNode* n = parent ? parent->children : nullptr; n; n = n->next)
        if (isElement(n, localName))
            out.push_back(n);
    return out;
}

xmlNode* child(xmlNode* parent, const char* localName)
{
    for (xmlNode* n = parent ? parent->children : nullptr; n; n = n->next)
        if (isElement(n, localName))
            return n;
    return nullptr;
}

xmlNode* firstElement(xmlNode* parent)
{
    for (xmlNode* n = parent ? parent->children : nullptr; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE)
            return n;
    return nullptr;
}

std::string takeXmlString(xmlChar* s)
{
    std::string out = s ? reinterpret_cast<const char*>(s) : "";
    xmlFree(s);
    return out;
}

std::string attr(xmlNode* n, const char* name) { return takeXmlString(xmlGetNoNsProp(n, X(name))); }

bool hasAttr(xmlNode* n, const char* name) { return xmlHasNsProp(n, X(name), nullptr) != nullptr; }

void setAttr(xmlNode* n, const char* name, const std::string& value) { xmlSetProp(n, X(name), X(value.c_str())); }

std::string relId(xmlNode* n)
{
    std::string id = takeXmlString(xmlGetNsProp(n, X("id"), X(kRelNs)));
    return id.empty() ? takeXmlString(xmlGetNsProp(n, X("id"), X(kStrictRelNs))) : id;
}

bool endsWith(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::string lowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// "xl/worksheets/../styles.xml" -> "xl/styles.xml"; targets starting with '/' are from the root.
std::string resolvePart(std::string_view baseDir, std::string_view target)
{
    std::string joined = !target.empty() && target.front() == '/'
                             ? std::string(target.substr(1))
                             : (baseDir.empty() ? std::string(target) : std::string(baseDir) + "/" + std::string(target));
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= joined.size()) {
        const std::size_t slash = std::min(joined.find('/', start), joined.size());
        const std::string seg = joined.substr(start, slash - start);
        if (seg == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        start = slash + 1;
    }
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : "/") + p;
    return out;
}

// The part whose relationships a part ".../_rels/<name>.rels" holds: "" for the package's.
std::optional<std::string> relsSource(std::string_view part)
{
    if (!endsWith(part, ".rels"))
        return std::nullopt;
    const auto slash = part.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? std::string_view() : part.substr(0, slash);
    if (folder != "_rels" && !endsWith(folder, "/_rels"))
        return std::nullopt;
    const std::string_view file = part.substr(slash + 1, part.size() - slash - 1 - 5);
    return std::string(folder.substr(0, folder.size() - 5)) + std::string(file);
}

std::string dirOf(const std::string& part)
{
    const auto slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash);
}

std::string relsPartOf(const std::string& part)
{
    const auto slash = part.rfind('/');
    return slash == std::string::npos ? "_rels/" + part + ".rels"
                                      : part.substr(0, slash) + "/_rels/" + part.substr(slash + 1) + ".rels";
}

std::optional<long> parseLong(const std::string& s)
{
    long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return v;
}

// Number format ids are unsigned 32-bit numbers; those a workbook defines start at 164.
constexpr std::int64_t kFirstCustomNumberFormat = 164;
constexpr std::int64_t kLastNumberFormatId = 4294967295;

std::optional<std::int64_t> parseNumberFormatId(const std::string& s)
{
    std::uint32_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return v;
}

std::string numberText(double v)
{
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, ec == std::errc() ? end : buf);
}

// A sheet reference as formulas write it: bare when it can be, else quoted.
bool isBareSheetName(std::string_view n)
{
    if (n.empty() || (n[0] >= '0' && n[0] <= '9'))
        return false;
    return std::all_of(n.begin(), n.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.';
    });
}

std::string quotedSheetRef(std::string_view n)
{
    std::string out = "'";
    for (char c : n)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'!";
}

std::string sheetRef(std::string_view n) { return isBareSheetName(n) ? std::string(n) + "!" : quotedSheetRef(n); }

// The text with its references to the sheet `from` made references to `to`, in one pass;
// nothing when it would pass `limit` bytes.
std::optional<std::string> withSheetRenamed(std::string_view text, std::string_view from, std::string_view to,
                                            std::size_t limit)
{
    const std::string quoted = quotedSheetRef(from);
    const std::string bare = isBareSheetName(from) ? std::string(from) + "!" : std::string();
    const std::string replacement = sheetRef(to);
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::string_view rest = text.substr(i);
        // A bare name must not be the tail of a longer name ("MySheet1!").
        const bool partOfName = i > 0 && (std::isalnum(static_cast<unsigned char>(text[i - 1])) ||
                                          text[i - 1] == '_' || text[i - 1] == '.' || text[i - 1] == '\'');
        if (rest.starts_with(quoted)) {
            out += replacement;
            i += quoted.size();
        } else if (!bare.empty() && !partOfName && rest.starts_with(bare)) {
            out += replacement;
            i += bare.size();
        } else {
            out += text[i++];
        }
        if (out.size() > limit)
            return std::nullopt;
    }
    return out;
}

// The number formats every spreadsheet knows by id.
int builtinNumberFormat(std::string_view code)
{
    static const std::map<std::string_view, int> builtins = {
        {"General", 0},        {"0", 1},        {"0.00", 2},           {"#,##0", 3},        {"#,##0.00", 4},
        {"0%", 9},             {"0.00%", 10},   {"0.00E+00", 11},      {"mm-dd-yy", 14},    {"d-mmm-yy", 15},
        {"d-mmm", 16},         {"mmm-yy", 17},  {"h:mm AM/PM", 18},    {"h:mm:ss AM/PM", 19}, {"h:mm", 20},
        {"h:mm:ss", 21},       {"m/d/yy h:mm", 22}, {"@", 49}};
    const auto it = builtins.find(code);
    return it == builtins.end() ? -1 : it->second;
}

// A part in UTF-16 (which a package may use beside UTF-8, told by its byte order mark or its
// first character) as UTF-8, so that it is counted and parsed as every other part is; other
// parts as they are. Nothing when its UTF-16 is broken.
std::optional<std::string> asUtf8(std::string data)
{
    const std::string_view head = std::string_view(data).substr(0, 2);
    const bool little = head == "\xFF\xFE" || head == std::string_view("<\0", 2);
    const bool big = head == "\xFE\xFF" || head == std::string_view("\0<", 2);
    if (!little && !big)
        return data;
    xmlCharEncodingHandler* utf16 = xmlGetCharEncodingHandler(little ? XML_CHAR_ENCODING_UTF16LE : XML_CHAR_ENCODING_UTF16BE);
    if (!utf16 || !utf16->input || data.size() > INT_MAX / 2)
        return std::nullopt;
    // A unit gives at most three bytes, a pair of them four.
    std::string out(data.size() / 2 * 3, '\0');
    int outLength = static_cast<int>(out.size());
    int inLength = static_cast<int>(data.size());
    if (utf16->input(reinterpret_cast<unsigned char*>(out.data()), &outLength,
                     reinterpret_cast<const unsigned char*>(data.data()), &inLength) < 0 ||
        inLength != static_cast<int>(data.size()))
        return std::nullopt;
    out.resize(static_cast<std::size_t>(outLength));
    return out;
}

// What the tree of a part will be, counted on its text before it is parsed: elements,
// attributes (namespace declarations among them), the other nodes (text, comments,
// processing instructions), the rows and cells without a position, which the filler gives
// one, and the names libxml2 keeps in its table. Exact for well-formed UTF-8, which is how
// parts are parsed; libxml2 stops at the first fault, so whatever follows one costs nothing.
struct XmlShape {
    std::uint64_t elements = 0, attributes = 0, otherNodes = 0, unplaced = 0;
    std::size_t mostAttributes = 0;  // on one element
    std::size_t mostNamespaces = 0;  // declared in scope at once
    std::size_t names = 0;           // different names, prefixes and namespaces
    bool doctype = false, malformed = false;
};

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

XmlShape xmlShape(std::string_view x)
{
    XmlShape s;
    const std::size_t n = x.size();
    const auto past = [&](std::string_view end, std::size_t from) {
        const std::size_t at = x.find(end, from);
        return at == std::string_view::npos ? n : at + end.size();
    };
    std::vector<std::size_t> declared; // namespace declarations of each open element
    std::size_t inScope = 0;
    std::unordered_set<std::string_view> names; // counted up to one past the limit
    const auto keep = [&](std::string_view name) {
        if (names.size() <= kMaxNames)
            names.insert(name);
    };
    const auto qualifiedName = [&](std::string_view name) {
        const std::size_t colon = name.find(':');
        keep(name.substr(colon == std::string_view::npos ? 0 : colon + 1));
        if (colon != std::string_view::npos)
            keep(name.substr(0, colon));
    };
    for (std::size_t i = 0; i < n;) {
        const std::size_t lt = x.find('<', i);
        if (lt != i)
            ++s.otherNodes; // text
        if (lt == std::string_view::npos)
            break;
        const std::string_view at = x.substr(lt);
        if (at.starts_with("<!--")) {
            ++s.otherNodes;
            i = past("-->", lt + 4);
        } else if (at.starts_with("<![CDATA[")) {
            ++s.otherNodes;
            i = past("]]>", lt + 9);
        } else if (at.starts_with("<!")) {
            (at.starts_with("<!DOCTYPE") ? s.doctype : s.malformed) = true;
            break;
        } else if (at.starts_with("<?")) {
            ++s.otherNodes;
            i = past("?>", lt + 2);
            const std::size_t target = lt + 2;
            std::size_t end = target;
            while (end < std::min(i, n) && !isXmlSpace(x[end]) && x[end] != '?')
                ++end;
            keep(x.substr(target, end - target));
        } else if (at.starts_with("</")) {
            if (!declared.empty()) {
                inScope -= declared.back();
                declared.pop_back();
            }
            i = past(">", lt + 2);
        } else {
            // A start tag: every quoted value is an attribute, named by the word before it.
            ++s.elements;
            std::size_t attributes = 0, namespaces = 0;
            bool placed = false;
            std::string_view word, element;
            std::size_t j = lt + 1;
            while (j < n && x[j] != '>') {
                const char c = x[j];
                if (c == '"' || c == '\'') {
                    ++attributes;
                    qualifiedName(word);
                    const std::size_t close = x.find(c, j + 1);
                    if (word == "xmlns" || word.starts_with("xmlns:")) {
                        ++namespaces;
                        keep(x.substr(j + 1, std::min(close, n) - j - 1));
                    }
                    placed = placed || word == "r";
                    j = close == std::string_view::npos ? n : close + 1;
                } else if (isXmlSpace(c) || c == '=' || c == '/') {
                    ++j;
                } else {
                    const std::size_t start = j;
                    while (j < n && !isXmlSpace(x[j]) && x[j] != '=' && x[j] != '/' && x[j] != '>' &&
                           x[j] != '"' && x[j] != '\'')
                        ++j;
                    word = x.substr(start, j - start);
                    if (element.empty()) {
                        element = word.substr(word.find(':') + 1);
                        qualifiedName(word);
                    }
                }
            }
            if (!placed && (element == "row" || element == "c"))
                ++s.unplaced;
            s.attributes += attributes;
            s.mostAttributes = std::max(s.mostAttributes, attributes);
            s.mostNamespaces = std::max(s.mostNamespaces, inScope + namespaces);
            if (j < n && x[j - 1] != '/') {
                declared.push_back(namespaces);
                inScope += namespaces;
            }
            i = j < n ? j + 1 : n;
        }
    }
    s.names = names.size();
    return s;
}

// What the tree of a part costs at most, in bytes, as libxml2 allocates it: a node with its
// name; an attribute with its value node and its name, or a position the filler adds; the
// text, once in the tree and once for the room libxml2 leaves when it appends to it.
std::uint64_t treeCost(const XmlShape& s, std::size_t bytes)
{
    return 192 * (s.elements + s.otherNodes) + 320 * (s.attributes + s.unplaced) + 2 * std::uint64_t(bytes);
}

// Why a part cannot be parsed, or "": the same rules for what is read and what is written.
std::string partFault(const XmlShape& s, std::size_t bytes, std::uint64_t budgetLeft)
{
    if (bytes > kMaxParsedPartBytes)
        return "is too large";
    if (s.doctype) // the parts of a workbook never declare a DTD; entities are refused
        return "declares a DTD";
    if (s.malformed)
        return "is not well-formed XML";
    if (s.mostAttributes > kMaxAttributesPerElement)
        return "has an element with more than " + std::to_string(kMaxAttributesPerElement) + " attributes";
    if (s.mostNamespaces > kMaxNamespacesInScope)
        return "nests more than " + std::to_string(kMaxNamespacesInScope) + " namespace declarations";
    if (s.names > kMaxNames)
        return "uses more than " + std::to_string(kMaxNames) + " names";
    if (treeCost(s, bytes) > budgetLeft)
        return "holds too many elements and attributes";
    return "";
}

// What libzip reads of a file's zip directory when it opens it: it tries every end record
// in the last 64 KB of the file (a comment may hold more) and reads the entries each one
// names, and every entry starts with its signature.
struct ZipDirectory {
    std::size_t entries = 0, ends = 0;
};

ZipDirectory zipDirectory(std::string_view bytes)
{
    const auto count = [](std::string_view in, std::string_view signature) {
        std::size_t n = 0;
        for (std::size_t at = in.find(signature); at != std::string_view::npos; at = in.find(signature, at + 1))
            ++n;
        return n;
    };
    constexpr std::size_t kEndSearch = 65535 + 22 + 20; // a comment, the end record, a zip64 locator
    const std::string_view tail = bytes.substr(bytes.size() - std::min(bytes.size(), kEndSearch));
    return {count(bytes, "PK\x01\x02"), count(tail, "PK\x05\x06")};
}

void silentXmlError(void*, const char*, ...) {}

void initLibxml()
{
    static const bool done = [] {
        xmlInitParser();
        // A damaged template is reported by the exception; libxml2 would also print some
        // errors (encoding ones) to stderr whatever the parse options say.
        xmlSetGenericErrorFunc(nullptr, silentXmlError);
        return true;
    }();
    (void)done;
}

struct SheetEntry {
    std::string name;
    std::string part;
    xmlNode* element; // its <sheet> in the workbook part
};

struct Bounds {
    CellPos first, last;
};

} // namespace

TemplateNotFoundError::TemplateNotFoundError(const fs::path& file)
    : WorkbookError("Can not find " + file.filename().string() + ".")
{
}

struct TemplateWorkbook::Impl {
    std::string name;
    std::string bytes;
    zip_t* archive = nullptr;

    std::string workbookPart, workbookRelsPart, stylesPart;
    bool calcChainDone = false;
    bool date1904 = false;
    std::vector<SheetEntry> sheets;
    std::map<std::string, XmlDoc> docs;
    std::map<std::string, std::uint64_t> treeCosts; // of each parsed part, as read
    std::uint64_t treeBytes = 0;                    // their sum
    std::set<std::string> modified, removed, normalised;
    std::map<std::pair<long, std::int64_t>, long> styleCache; // (style, number format id) -> style

    ~Impl()
    {
        if (archive)
            zip_discard(archive);
    }

    WorkbookError bad(const std::string& what) const
    {
        return WorkbookError(name + " is not a workbook that can be filled: " + what + ".");
    }

    bool hasPart(const std::string& part) const { return zip_name_locate(archive, part.c_str(), 0) >= 0; }

    std::string readPart(const std::string& part) const
    {
        const zip_int64_t index = zip_name_locate(archive, part.c_str(), 0);
        if (index < 0)
            throw bad("the part " + part + " is missing");
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
            throw bad("the part " + part + " cannot be read");
        if (st.size > kMaxParsedPartBytes)
            throw bad("the part " + part + " is too large");
        zip_file_t* f = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
        if (!f)
            throw bad("the part " + part + " cannot be read (" + zip_strerror(archive) + ")");
        std::string data(static_cast<std::size_t>(st.size), '\0');
        zip_uint64_t got = 0;
        zip_int64_t n = 0;
        while (got < st.size && (n = zip_fread(f, data.data() + got, st.size - got)) > 0)
            got += static_cast<zip_uint64_t>(n);
        char extra = 0;
        const bool exact = got == st.size && n >= 0 && zip_fread(f, &extra, 1) == 0;
        zip_fclose(f);
        if (!exact)
            throw bad("the part " + part + " is damaged");
        return data;
    }

    xmlDoc* doc(const std::string& part)
    {
        if (auto it = docs.find(part); it != docs.end())
            return it->second.get();
        // Counted before libxml2 sees it, so that no tree is built beyond the budget. Parts
        // are read as UTF-8, whatever they declare, for the counts to hold; short texts are
        // kept out of libxml2's table of names.
        const std::optional<std::string> text = asUtf8(readPart(part));
        if (!text)
            throw bad("the part " + part + " is not well-formed XML");
        const std::string& data = *text;
        const XmlShape shape = xmlShape(data);
        if (const std::string fault = partFault(shape, data.size(), kMaxTreeBytes - treeBytes); !fault.empty())
            throw bad("the part " + part + " " + fault);
        XmlDoc parsed(xmlReadMemory(data.data(), static_cast<int>(data.size()), part.c_str(), "UTF-8",
                                    XML_PARSE_NONET | XML_PARSE_IGNORE_ENC | XML_PARSE_NODICT |
                                        XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
        if (!parsed || !xmlDocGetRootElement(parsed.get()))
            throw bad("the part " + part + " is not well-formed XML");
        treeCosts[part] = treeCost(shape, data.size());
        treeBytes += treeCosts[part];
        return docs.emplace(part, std::move(parsed)).first->second.get();
    }

    xmlNode* root(const std::string& part, const char* localName)
    {
        xmlNode* r = xmlDocGetRootElement(doc(part));
        if (!isElement(r, localName))
            throw bad("the part " + part + " is no " + localName);
        return r;
    }

    // The part as it is written; nothing when it would pass the limit of parsed parts.
    std::optional<std::string> serialised(const std::string& part) const
    {
        struct Sink {
            std::string text;
            bool full = false;
        } sink;
        const auto write = [](void* context, const char* buffer, int size) -> int {
            auto* s = static_cast<Sink*>(context);
            if (s->text.size() + static_cast<std::size_t>(size) > kMaxParsedPartBytes) {
                s->full = true;
                return -1;
            }
            s->text.append(buffer, static_cast<std::size_t>(size));
            return size;
        };
        xmlOutputBuffer* out = xmlOutputBufferCreateIO(write, nullptr, &sink, xmlFindCharEncodingHandler("UTF-8"));
        // Closes the buffer whatever happens.
        const bool failed = !out || xmlSaveFormatFileTo(out, docs.at(part).get(), "UTF-8", 0) < 0;
        if (sink.full)
            return std::nullopt;
        if (failed)
            throw WorkbookError("Cannot fill " + name + ": the part " + part + " cannot be written.");
        return std::move(sink.text);
    }

    // Id -> (type, part) of the relationships of `part`.
    std::map<std::string, std::pair<std::string, std::string>> relationships(const std::string& part)
    {
        std::map<std::string, std::pair<std::string, std::string>> out;
        const std::string relsPart = relsPartOf(part);
        for (xmlNode* r : children(root(relsPart, "Relationships"), "Relationship")) {
            if (attr(r, "TargetMode") == "External")
                continue;
            out[attr(r, "Id")] = {attr(r, "Type"), resolvePart(dirOf(part), attr(r, "Target"))};
        }
        return out;
    }

    void load()
    {
        // Bounded before libzip reads the directory, which costs it time for each entry.
        const ZipDirectory directory = zipDirectory(bytes);
        if (directory.entries > kMaxParts)
            throw bad("it has more than " + std::to_string(kMaxParts) + " parts");
        if (directory.ends > kMaxZipEnds)
            throw bad("its zip directory is damaged");
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
        if (source)
            archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
        if (!archive) {
            if (source)
                zip_source_free(source);
            const std::string why = zip_error_strerror(&error);
            zip_error_fini(&error);
            throw bad(why);
        }
        zip_error_fini(&error);

        workbookPart = "xl/workbook.xml";
        for (const auto& [id, rel] : relationships(""))
            if (endsWith(rel.first, "/officeDocument"))
                workbookPart = rel.second;
        workbookRelsPart = relsPartOf(workbookPart);
        xmlNode* book = root(workbookPart, "workbook");
        const std::string d1904 = attr(child(book, "workbookPr"), "date1904");
        date1904 = d1904 == "1" || d1904 == "true";

        const auto rels = relationships(workbookPart);
        for (const auto& [id, rel] : rels) {
            if (endsWith(rel.first, "/styles"))
                stylesPart = rel.second;
        }
        for (xmlNode* s : children(child(book, "sheets"), "sheet")) {
            const auto rel = rels.find(relId(s));
            const std::string sheetName = attr(s, "name");
            if (rel == rels.end() || sheetName.empty())
                throw bad("the sheet \"" + sheetName + "\" has no part");
            // Chart sheets are listed too; they are refused when a cell is set on them.
            sheets.push_back({sheetName, endsWith(rel->second.first, "/worksheet") ? rel->second.second : "", s});
        }
        if (sheets.empty())
            throw bad("it has no sheets");
    }

    SheetEntry& sheetNamed(std::string_view sheetName)
    {
        const std::string lower = lowerAscii(sheetName);
        for (SheetEntry& s : sheets)
            if (lowerAscii(s.name) == lower)
                return s;
        throw WorkbookError(name + " has no sheet \"" + std::string(sheetName) + "\".");
    }

    // The <sheetData> of a worksheet, with every row and cell given its explicit position so
    // that inserting one never shifts another.
    xmlNode* sheetData(const SheetEntry& sheet)
    {
        if (sheet.part.empty())
            throw WorkbookError("The sheet \"" + sheet.name + "\" of " + name + " is not a worksheet.");
        xmlNode* data = child(root(sheet.part, "worksheet"), "sheetData");
        if (!data)
            throw bad("the sheet \"" + sheet.name + "\" has no cells part");
        if (normalised.insert(sheet.part).second) {
            long previousRow = 0;
            for (xmlNode* row : children(data, "row")) {
                long r = previousRow + 1;
                if (hasAttr(row, "r")) {
                    const auto parsed = parseLong(attr(row, "r"));
                    if (!parsed || *parsed <= previousRow)
                        throw bad("the rows of the sheet \"" + sheet.name + "\" are out of order");
                    r = *parsed;
                }
                // Rows without a number count on from the one before; past the last row
                // we would write a number no reader takes.
                if (r > kMaxRows)
                    throw bad("the sheet \"" + sheet.name + "\" has a row after row " + std::to_string(kMaxRows));
                setAttr(row, "r", std::to_string(r));
                int previousColumn = 0;
                for (xmlNode* c : children(row, "c")) {
                    CellPos pos{static_cast<int>(r), previousColumn + 1};
                    if (hasAttr(c, "r")) {
                        try {
                            pos = parseCellRef(attr(c, "r"));
                        } catch (const WorkbookError&) {
                            throw bad("the sheet \"" + sheet.name + "\" has a bad cell reference");
                        }
                    }
                    if (pos.row != r || pos.column <= previousColumn)
                        throw bad("the cells of the sheet \"" + sheet.name + "\" are out of order");
                    if (pos.column > kMaxColumns)
                        throw bad("the sheet \"" + sheet.name + "\" has a cell after column " +
                                  columnLetters(kMaxColumns));
                    setAttr(c, "r", cellRef(pos.row, pos.column));
                    previousColumn = pos.column;
                }
                previousRow = r;
            }
            modified.insert(sheet.part);
        }
        return data;
    }

    xmlNode* newElement(xmlNode* like, const char* localName)
    {
        return xmlNewDocNode(like->doc, like->ns, X(localName), nullptr);
    }

    // The <c> of that position, made (in order) when missing.
    xmlNode* cellNode(std::string_view sheetName, CellPos pos)
    {
        SheetEntry& sheet = sheetNamed(sheetName);
        xmlNode* data = sheetData(sheet);
        modified.insert(sheet.part);
        extendDimension(sheet, pos);

        xmlNode* row = nullptr;
        for (xmlNode* r : children(data, "row")) {
            const long n = parseLong(attr(r, "r")).value_or(0);
            if (n == pos.row) {
                row = r;
                break;
            }
            if (n > pos.row) {
                row = xmlAddPrevSibling(r, newElement(data, "row"));
                break;
            }
        }
        if (!row)
            row = xmlAddChild(data, newElement(data, "row"));
        setAttr(row, "r", std::to_string(pos.row));
        xmlUnsetProp(row, X("spans")); // a hint only, and it may no longer hold

        for (xmlNode* c : children(row, "c")) {
            const int column = parseCellRef(attr(c, "r")).column;
            if (column == pos.column)
                return c;
            if (column > pos.column)
                return withRef(xmlAddPrevSibling(c, newElement(row, "c")), pos);
        }
        return withRef(xmlAddChild(row, newElement(row, "c")), pos);
    }

    static xmlNode* withRef(xmlNode* c, CellPos pos)
    {
        setAttr(c, "r", cellRef(pos.row, pos.column));
        return c;
    }

    void extendDimension(const SheetEntry& sheet, CellPos pos)
    {
        xmlNode* dimension = child(root(sheet.part, "worksheet"), "dimension");
        if (!dimension)
            return;
        Bounds b{pos, pos};
        const std::string ref = attr(dimension, "ref");
        const auto colon = ref.find(':');
        try {
            const CellPos first = parseCellRef(ref.substr(0, colon));
            const CellPos last = colon == std::string::npos ? first : parseCellRef(ref.substr(colon + 1));
            b.first = {std::min(first.row, pos.row), std::min(first.column, pos.column)};
            b.last = {std::max(last.row, pos.row), std::max(last.column, pos.column)};
        } catch (const WorkbookError&) {
            // an unreadable dimension is replaced by the cell's own
        }
        std::string text = cellRef(b.first.row, b.first.column);
        if (!(b.first == b.last))
            text += ":" + cellRef(b.last.row, b.last.column);
        setAttr(dimension, "ref", text);
    }

    // Removes the cell's value, keeping its style.
    void clearValue(xmlNode* c)
    {
        for (xmlNode* n = c->children; n;) {
            xmlNode* next = n->next;
            if (!isElement(n, "extLst")) {
                if (isElement(n, "f"))
                    dropCalcChain();
                xmlUnlinkNode(n);
                xmlFreeNode(n);
            }
            n = next;
        }
        xmlUnsetProp(c, X("t"));
        xmlUnsetProp(c, X("vm"));
        xmlUnsetProp(c, X("cm"));
    }

    void addValueNode(xmlNode* c, xmlNode* value)
    {
        if (xmlNode* first = firstElement(c))
            xmlAddPrevSibling(first, value); // before an extLst
        else
            xmlAddChild(c, value);
    }

    // Whether the part is a calculation chain that may go: its root is a calcChain, and no
    // relationship of the package but the workbook's calcChain ones names it. A part that
    // cannot be read for this, or a relationships part that cannot, keeps it.
    bool isCalcChain(const std::string& part)
    {
        if (!hasPart(part))
            return false;
        try {
            if (!isElement(xmlDocGetRootElement(doc(part)), "calcChain"))
                return false;
            const zip_int64_t count = zip_get_num_entries(archive, 0);
            for (zip_int64_t i = 0; i < count; ++i) {
                const char* entry = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
                const auto source = entry ? relsSource(entry) : std::nullopt;
                if (!source)
                    continue;
                for (xmlNode* r : children(root(entry, "Relationships"), "Relationship"))
                    if (attr(r, "TargetMode") != "External" &&
                        resolvePart(dirOf(*source), attr(r, "Target")) == part &&
                        !(*source == workbookPart && endsWith(attr(r, "Type"), "/calcChain")))
                        return false;
            }
        } catch (const WorkbookError&) {
            return false;
        }
        return true;
    }

    // The calculation chain lists formula cells; with a formula gone it would be stale, and
    // the spreadsheet rebuilds it when it is missing. Only a part that is one goes, so that
    // every part a relationship names is still written.
    void dropCalcChain()
    {
        if (calcChainDone)
            return;
        calcChainDone = true;
        std::set<std::string> chains;
        for (const auto& [id, rel] : relationships(workbookPart))
            if (endsWith(rel.first, "/calcChain") && isCalcChain(rel.second))
                chains.insert(rel.second);
        if (chains.empty())
            return;
        for (const std::string& chain : chains)
            removed.insert(chain);
        for (xmlNode* r : children(root(workbookRelsPart, "Relationships"), "Relationship"))
            if (attr(r, "TargetMode") != "External" && endsWith(attr(r, "Type"), "/calcChain") &&
                chains.count(resolvePart(dirOf(workbookPart), attr(r, "Target")))) {
                xmlUnlinkNode(r);
                xmlFreeNode(r);
            }
        modified.insert(workbookRelsPart);
        const std::string types = "[Content_Types].xml";
        if (hasPart(types)) {
            for (xmlNode* o : children(root(types, "Types"), "Override"))
                if (chains.count(resolvePart("", attr(o, "PartName")))) {
                    xmlUnlinkNode(o);
                    xmlFreeNode(o);
                }
            modified.insert(types);
        }
    }

    void setText(std::string_view sheet, CellPos pos, std::string_view text)
    {
        xmlNode* c = cellNode(sheet, pos);
        clearValue(c);
        if (text.empty())
            return;
        setAttr(c, "t", "inlineStr");
        xmlNode* is = newElement(c, "is");
        addValueNode(c, is);
        const std::string safe = xmlSafeText(text);
        xmlNode* t = xmlNewTextChild(is, c->ns, X("t"), X(safe.c_str()));
        xmlNodeSetSpacePreserve(t, 1);
    }

    void setNumber(std::string_view sheet, CellPos pos, double value)
    {
        if (!std::isfinite(value))
            throw WorkbookError("Cell " + cellRef(pos.row, pos.column) + " cannot hold a number that is not finite.");
        xmlNode* c = cellNode(sheet, pos);
        clearValue(c);
        xmlNode* v = newElement(c, "v");
        addValueNode(c, v);
        xmlNodeSetContent(v, X(numberText(value).c_str()));
    }

    std::int64_t numberFormatId(std::string_view code)
    {
        if (const int builtin = builtinNumberFormat(code); builtin >= 0)
            return builtin;
        xmlNode* sheetStyles = root(stylesPart, "styleSheet");
        xmlNode* numFmts = child(sheetStyles, "numFmts");
        std::int64_t highest = kFirstCustomNumberFormat - 1;
        std::set<std::int64_t> used;
        for (xmlNode* f : children(numFmts, "numFmt")) {
            const auto id = parseNumberFormatId(attr(f, "numFmtId"));
            if (!id)
                throw bad("a number format id is not a number from 0 to " + std::to_string(kLastNumberFormatId));
            if (attr(f, "formatCode") == code)
                return *id;
            highest = std::max(highest, *id);
            used.insert(*id);
        }
        // The next id after the highest, as spreadsheets number them; when the highest is the
        // last id there is, the first one free.
        std::int64_t next = highest + 1;
        if (next > kLastNumberFormatId)
            for (next = kFirstCustomNumberFormat; used.count(next); ++next) {
            }
        if (!numFmts) {
            numFmts = newElement(sheetStyles, "numFmts");
            if (xmlNode* first = firstElement(sheetStyles))
                xmlAddPrevSibling(first, numFmts);
            else
                xmlAddChild(sheetStyles, numFmts);
        }
        xmlNode* f = xmlAddChild(numFmts, newElement(sheetStyles, "numFmt"));
        setAttr(f, "numFmtId", std::to_string(next));
        setAttr(f, "formatCode", xmlSafeText(code));
        setAttr(numFmts, "count", std::to_string(children(numFmts, "numFmt").size()));
        modified.insert(stylesPart);
        return next;
    }

    void setNumberFormat(std::string_view sheet, CellPos pos, std::string_view code)
    {
        if (code.empty())
            return;
        if (stylesPart.empty())
            throw bad("it has no styles");
        xmlNode* c = cellNode(sheet, pos);
        const std::int64_t formatId = numberFormatId(code);
        xmlNode* cellXfs = child(root(stylesPart, "styleSheet"), "cellXfs");
        std::vector<xmlNode*> xfs = children(cellXfs, "xf");
        if (xfs.empty())
            throw bad("it has no cell styles");
        long style = parseLong(attr(c, "s")).value_or(0);
        if (style < 0 || static_cast<std::size_t>(style) >= xfs.size())
            style = 0;
        if (parseLong(attr(xfs[static_cast<std::size_t>(style)], "numFmtId")).value_or(0) == formatId) {
            setAttr(c, "s", std::to_string(style));
            return;
        }
        auto [it, added] = styleCache.try_emplace({style, formatId}, 0);
        if (added) {
            // Cloned against its new parent, so the copy declares no namespace of its own.
            xmlNode* copy = nullptr;
            if (xmlDOMWrapCloneNode(nullptr, cellXfs->doc, xfs[static_cast<std::size_t>(style)], &copy,
                                    cellXfs->doc, cellXfs, 1, 0) != 0 ||
                !copy)
                throw bad("a cell style cannot be copied");
            setAttr(copy, "numFmtId", std::to_string(formatId));
            setAttr(copy, "applyNumberFormat", "1");
            xmlAddNextSibling(xfs.back(), copy);
            setAttr(cellXfs, "count", std::to_string(xfs.size() + 1));
            it->second = static_cast<long>(xfs.size());
            modified.insert(stylesPart);
        }
        setAttr(c, "s", std::to_string(it->second));
    }

    void renameSheet(std::size_t index, std::string_view newName)
    {
        if (index >= sheets.size())
            throw WorkbookError(name + " has no sheet " + std::to_string(index + 1) + ".");
        checkSheetName(newName);
        const std::string lower = lowerAscii(newName);
        for (std::size_t i = 0; i < sheets.size(); ++i)
            if (i != index && lowerAscii(sheets[i].name) == lower)
                throw WorkbookError(name + " already has a sheet named \"" + sheets[i].name + "\".");
        SheetEntry& sheet = sheets[index];
        if (sheet.name == newName)
            return;
        // The names must still fit in the part when written; nothing changes until they do.
        std::vector<std::pair<xmlNode*, std::string>> renamedNames;
        std::size_t room = kMaxParsedPartBytes;
        for (xmlNode* dn : children(child(root(workbookPart, "workbook"), "definedNames"), "definedName")) {
            const std::string text = takeXmlString(xmlNodeGetContent(dn));
            auto renamed = withSheetRenamed(text, sheet.name, newName, room);
            if (!renamed)
                throw WorkbookError("Cannot fill " + name + ": the filled part " + workbookPart + " is too large.");
            room -= renamed->size();
            if (*renamed != text)
                renamedNames.emplace_back(dn, std::move(*renamed));
        }
        sheet.name = std::string(newName);
        setAttr(sheet.element, "name", sheet.name);
        for (const auto& [dn, text] : renamedNames) {
            xmlNodeSetContent(dn, nullptr);
            xmlNodeAddContent(dn, X(text.c_str()));
        }
        modified.insert(workbookPart);
    }
};

TemplateWorkbook::TemplateWorkbook(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
TemplateWorkbook::TemplateWorkbook(TemplateWorkbook&&) noexcept = default;
TemplateWorkbook& TemplateWorkbook::operator=(TemplateWorkbook&&) noexcept = default;
TemplateWorkbook::~TemplateWorkbook() = default;

TemplateWorkbook TemplateWorkbook::open(const fs::path& file)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        throw TemplateNotFoundError(file);
    const std::string fileName = file.filename().string();
    const auto size = fs::file_size(file, ec);
    if (ec || size > kMaxTemplateBytes)
        throw WorkbookError("Cannot read " + fileName + (ec ? ": " + ec.message() : ": the file is too large") + ".");
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        throw WorkbookError("Cannot read " + fileName + ".");
    return fromBytes(std::move(bytes), fileName);
}

TemplateWorkbook TemplateWorkbook::fromBytes(std::string bytes, std::string name)
{
    if (bytes.size() > kMaxTemplateBytes)
        throw WorkbookError("Cannot read " + name + ": the file is too large.");
    initLibxml();
    auto impl = std::make_unique<Impl>();
    impl->name = std::move(name);
    impl->bytes = std::move(bytes);
    impl->load();
    return TemplateWorkbook(std::move(impl));
}

const std::string& TemplateWorkbook::name() const { return d->name; }

std::vector<std::string> TemplateWorkbook::sheetNames() const
{
    std::vector<std::string> names;
    for (const SheetEntry& s : d->sheets)
        names.push_back(s.name);
    return names;
}

void TemplateWorkbook::renameSheet(std::size_t index, std::string_view newName) { d->renameSheet(index, newName); }

void TemplateWorkbook::setText(std::string_view sheet, std::string_view ref, std::string_view text)
{
    d->setText(sheet, parseCellRef(ref), text);
}

void TemplateWorkbook::setNumber(std::string_view sheet, std::string_view ref, double value)
{
    d->setNumber(sheet, parseCellRef(ref), value);
}

void TemplateWorkbook::setDateTime(std::string_view sheet, std::string_view ref, DateTime value,
                                   std::string_view numberFormat)
{
    const CellPos pos = parseCellRef(ref);
    setDateTime(sheet, pos.row, pos.column, value, numberFormat);
}

void TemplateWorkbook::setNumberFormat(std::string_view sheet, std::string_view ref, std::string_view numberFormat)
{
    d->setNumberFormat(sheet, parseCellRef(ref), numberFormat);
}

void TemplateWorkbook::setText(std::string_view sheet, int row, int column, std::string_view text)
{
    checkCellPos(row, column);
    d->setText(sheet, {row, column}, text);
}

void TemplateWorkbook::setNumber(std::string_view sheet, int row, int column, double value)
{
    checkCellPos(row, column);
    d->setNumber(sheet, {row, column}, value);
}

void TemplateWorkbook::setDateTime(std::string_view sheet, int row, int column, DateTime value,
                                   std::string_view numberFormat)
{
    checkCellPos(row, column);
    const double serial = spreadsheetSerial(value, d->date1904);
    d->setNumber(sheet, {row, column}, serial);
    d->setNumberFormat(sheet, {row, column}, numberFormat);
}

std::string TemplateWorkbook::toBytes() const
{
    if (d->modified.empty() && d->removed.empty())
        return d->bytes;
    // What is written must read back: the parts that were parsed are held to the limits they
    // were read under, counted on what is written, before anything is.
    std::map<std::string, std::string> written;
    std::uint64_t treeBytes = 0;
    for (const auto& [part, cost] : d->treeCosts)
        if (!d->modified.count(part) && !d->removed.count(part))
            treeBytes += cost;
    for (const std::string& part : d->modified) {
        if (d->removed.count(part))
            continue;
        auto text = d->serialised(part);
        const XmlShape shape = text ? xmlShape(*text) : XmlShape{};
        const std::size_t size = text ? text->size() : kMaxParsedPartBytes + 1;
        const std::string fault = partFault(shape, size, kMaxTreeBytes - std::min(treeBytes, kMaxTreeBytes));
        if (!fault.empty())
            throw WorkbookError("Cannot fill " + d->name + ": the filled part " + part + " " + fault + ".");
        treeBytes += treeCost(shape, size);
        written.emplace(part, std::move(*text));
    }
    // A new archive in an empty buffer, every part copied or replaced in the template's order.
    // (Writing back into the buffer the template was read from lets this libzip free memory
    // it does not own.)
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* out = target ? zip_open_from_source(target, ZIP_TRUNCATE, &error) : nullptr;
    if (!out) {
        if (target)
            zip_source_free(target);
        const std::string why = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw WorkbookError("Cannot fill " + d->name + ": " + why + ".");
    }
    zip_error_fini(&error);
    zip_source_keep(target); // the new archive is read from it after zip_close
    const auto fail = [&](const std::string& why) {
        zip_discard(out);
        zip_source_free(target);
        return WorkbookError("Cannot fill " + d->name + ": " + why + ".");
    };

    const zip_int64_t count = zip_get_num_entries(d->archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* entry = zip_get_name(d->archive, index, 0);
        if (!entry)
            throw fail(zip_strerror(d->archive));
        const std::string part = entry;
        if (d->removed.count(part))
            continue;
        if (!part.empty() && part.back() == '/') {
            if (zip_dir_add(out, part.c_str(), 0) < 0)
                throw fail(zip_strerror(out));
            continue;
        }
        zip_source_t* data = nullptr;
        const bool replaced = d->modified.count(part) != 0;
        if (replaced) {
            const std::string& text = written.at(part); // lives until zip_close
            data = zip_source_buffer(out, text.data(), text.size(), 0);
        } else {
            data = zip_source_zip(out, d->archive, index, 0, 0, -1);
        }
        if (!data)
            throw fail(zip_strerror(out));
        const zip_int64_t added = zip_file_add(out, part.c_str(), data, 0);
        if (added < 0) {
            zip_source_free(data);
            throw fail(zip_strerror(out));
        }
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(d->archive, index, 0, &st) == 0 && (st.valid & ZIP_STAT_MTIME))
            zip_file_set_mtime(out, static_cast<zip_uint64_t>(added), st.mtime, 0);
        // A part copied as it was stays stored if it was: libzip would compress it anew. A
        // part written anew is compressed quickly: libzip's best compression can take a
        // second on a few megabytes.
        if (!replaced && (st.valid & ZIP_STAT_COMP_METHOD) && st.comp_method == ZIP_CM_STORE)
            zip_set_file_compression(out, static_cast<zip_uint64_t>(added), ZIP_CM_STORE, 0);
        else if (replaced)
            zip_set_file_compression(out, static_cast<zip_uint64_t>(added), ZIP_CM_DEFLATE, 1);
    }
    if (zip_close(out) != 0) {
        const std::string why = zip_strerror(out);
        throw fail(why);
    }

    std::string result;
    if (zip_source_open(target) != 0) {
        zip_source_free(target);
        throw WorkbookError("Cannot fill " + d->name + ": the new workbook cannot be read back.");
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_source_stat(target, &st) == 0 && (st.valid & ZIP_STAT_SIZE))
        result.reserve(static_cast<std::size_t>(std::min<zip_uint64_t>(st.size, kMaxTemplateBytes + 1)));
    char buffer[65536];
    zip_int64_t n = 0;
    while ((n = zip_source_read(target, buffer, sizeof buffer)) > 0)
        result.append(buffer, static_cast<std::size_t>(n));
    zip_source_close(target);
    zip_source_free(target);
    if (n < 0)
        throw WorkbookError("Cannot fill " + d->name + ": the new workbook cannot be read back.");
    if (result.size() > kMaxTemplateBytes)
        throw WorkbookError("Cannot fill " + d->name + ": the filled workbook is too large.");
    return result;
}

void TemplateWorkbook::saveAs(const fs::path& file) const
{
    const std::string data = toBytes();
    detail::commitReplacing(file, [&](const fs::path& temporary) {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.close();
        if (!out)
            throw WorkbookError("Cannot write the file \"" + file.string() + "\".");
    });
}

} // namespace workbook
