// Build-time generator of the BML dictionary table.
//
// Reads bml/BMLDictionary.txt (UTF-8, one definition per line:
// "<id> <name> <code> <description>") and writes
//   BMLDictionary.cpp       the constant table, descriptions as GBK bytes;
//   BMLDictionaryNames.h    BMLDict::<Name> entry references for plain fields
//                           and BMLTag::<Name> tag numbers for records and lists.
// Any malformed line stops the build with a message naming it.
#include <iconv.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{

struct Definition
{
    unsigned long id;
    std::string name;
    char type;
    unsigned long maxLength;
    const char* kind;  // "BML_KIND_RECORD", "BML_KIND_LIST" or "0"
    std::string description;  // GBK
};

[[noreturn]] void Fail(const std::string& where, const std::string& what)
{
    std::cerr << where << ": " << what << "\n";
    std::exit(1);
}

std::string ToGbk(const std::string& utf8, const std::string& where)
{
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        Fail(where, "iconv has no UTF-8 to GBK conversion");
    std::string in = utf8;
    std::string out(in.size() * 2 + 4, '\0');
    char* inPtr = &in[0];
    size_t inLeft = in.size();
    char* outPtr = &out[0];
    size_t outLeft = out.size();
    size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        Fail(where, "description is not convertible to GBK");
    out.resize(out.size() - outLeft);
    return out;
}

bool IsIdentifier(const std::string& s)
{
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_'))
        return false;
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_'))
            return false;
    return true;
}

// Decodes the type column: rec, list, C, C<n>, S, I, F, D, L.
void ParseCode(const std::string& code, Definition& d, const std::string& where)
{
    d.type = 'C';
    d.maxLength = 0;
    d.kind = "0";
    if (code == "rec")
        d.kind = "BML_KIND_RECORD";
    else if (code == "list")
        d.kind = "BML_KIND_LIST";
    else if (code.size() == 1 && std::string("CSIFDL").find(code[0]) != std::string::npos)
        d.type = code[0];
    else if (code.size() > 1 && code[0] == 'C' &&
             code.find_first_not_of("0123456789", 1) == std::string::npos)
        d.maxLength = std::stoul(code.substr(1));
    else
        Fail(where, "unknown type code '" + code + "'");
}

Definition ParseLine(const std::string& line, const std::string& where)
{
    std::istringstream in(line);
    std::string id, code;
    Definition d;
    if (!(in >> id >> d.name >> code))
        Fail(where, "expected <id> <name> <code> <description>");
    if (id.find_first_not_of("0123456789") != std::string::npos || id.size() > 5)
        Fail(where, "bad id '" + id + "'");
    d.id = std::stoul(id);
    if (d.id > 0xFFFF)
        Fail(where, "id out of range");
    if (!IsIdentifier(d.name) || d.name.size() > 31)
        Fail(where, "bad name '" + d.name + "'");
    ParseCode(code, d, where);
    std::string description;
    std::getline(in >> std::ws, description);
    if (description.empty())
        Fail(where, "missing description");
    d.description = ToGbk(description, where);
    if (d.description.size() > 127)
        Fail(where, "description longer than 127 bytes");
    return d;
}

std::vector<Definition> ReadDefinitions(const char* path)
{
    std::ifstream in(path);
    if (!in)
        Fail(path, "cannot open");
    std::vector<Definition> defs;
    std::set<std::string> names;
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo)
    {
        if (line.empty() || line[0] == '#')
            continue;
        std::string where = std::string(path) + ":" + std::to_string(lineNo);
        defs.push_back(ParseLine(line, where));
        if (!names.insert(defs.back().name).second)
            Fail(where, "name '" + defs.back().name + "' defined twice");
    }
    return defs;
}

// Every byte outside printable ASCII as a three-digit octal escape, which
// cannot run into a following character the way a hex escape can.
std::string CLiteral(const std::string& bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes)
    {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?')
        {
            out += static_cast<char>(c);
            continue;
        }
        char esc[5];
        std::snprintf(esc, sizeof esc, "\\%03o", c);
        out += esc;
    }
    return out + "\"";
}

void WriteTable(const std::vector<Definition>& defs, const char* path)
{
    std::ofstream out(path);
    out << "// Generated from bml/BMLDictionary.txt by BMLDictionaryGen. Do not edit.\n"
        << "#include \"bml/BMLDictionary.h\"\n\n"
        << "// The unsized definition must agree with BML_DICTIONARY_SIZE in the\n"
        << "// declaration, so a missing or extra line fails the build.\n"
        << "const BMLDictEntry BMLDictionary[] = {\n";
    for (const Definition& d : defs)
        out << "    {" << d.id << ", \"" << d.name << "\", '" << d.type << "', " << d.maxLength << ", "
            << d.kind << ", " << CLiteral(d.description) << "},\n";
    out << "};\n";
    if (!out)
        Fail(path, "write failed");
}

void WriteNames(const std::vector<Definition>& defs, const char* path)
{
    std::ofstream out(path);
    out << "// Generated from bml/BMLDictionary.txt by BMLDictionaryGen. Do not edit.\n"
        << "// Included by bml/BMLDictionary.h.\n"
        << "#ifndef KELM_BML_BMLDICTIONARYNAMES_H\n#define KELM_BML_BMLDICTIONARYNAMES_H\n\n"
        << "// Plain fields, by their entry. Entries that share an id keep one\n"
        << "// reference each.\nnamespace BMLDict\n{\n";
    for (size_t i = 0; i < defs.size(); ++i)
        if (std::string(defs[i].kind) == "0")
            out << "inline constexpr const BMLDictEntry& " << defs[i].name << " = BMLDictionary[" << i
                << "];\n";
    out << "}  // namespace BMLDict\n\n// Records and lists, by their tag.\nnamespace BMLTag\n{\n";
    for (const Definition& d : defs)
        if (std::string(d.kind) != "0")
            out << "inline constexpr uint16_t " << d.name << " = " << d.id << ";\n";
    out << "}  // namespace BMLTag\n\n#endif\n";
    if (!out)
        Fail(path, "write failed");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        Fail("BMLDictionaryGen", "usage: BMLDictionaryGen <input.txt> <table.cpp> <names.h>");
    std::vector<Definition> defs = ReadDefinitions(argv[1]);
    WriteTable(defs, argv[2]);
    WriteNames(defs, argv[3]);
    return 0;
}
