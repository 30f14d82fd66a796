// versiongen DESCRIPTION OUTPUT SYMBOL
//
// Turns the text description of a version resource into a C++ source that holds the
// version-information block as a byte array in the ELF section "kestrel_version", where the
// program's version-resource functions find it. Run by the build; nothing binary is kept in the
// source tree.
//
// The description is INI-like text:
//   [FixedFileInfo]          FileVersion, ProductVersion (four dotted numbers), FileFlagsMask,
//                            FileFlags, FileOS, FileType, FileSubtype, FileDateMS, FileDateLS
//   [VarFileInfo]            Translation=<language> <code page> [<language> <code page> ...]
//   [StringFileInfo XXXXXXXX] one key=value line per string, in the order the block keeps them
// Lines starting with ';' or '#' are comments.

#include "platform/ExecutableImage.h"
#include "platform/VersionBlock.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>

namespace {

struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string trim(const std::string& s)
{
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos)
    return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

uint32_t number(const std::string& text, uint32_t max)
{
  std::size_t used = 0;
  unsigned long v = 0;
  try {
    v = std::stoul(text, &used, 0);
  } catch (const std::exception&) {
    throw Error("\"" + text + "\" is not a number");
  }
  if (used != text.size() || v > max)
    throw Error("\"" + text + "\" is not a number up to " + std::to_string(max));
  return uint32_t(v);
}

// "2.1.0.20" as the two 32-bit halves of a version.
std::pair<uint32_t, uint32_t> version(const std::string& text)
{
  uint32_t part[4];
  std::stringstream in(text);
  std::string item;
  int n = 0;
  while (std::getline(in, item, '.')) {
    if (n == 4)
      throw Error("\"" + text + "\" has more than four parts");
    part[n++] = number(trim(item), 0xFFFF);
  }
  if (n != 4)
    throw Error("\"" + text + "\" is not four dotted numbers");
  return {(part[0] << 16) | part[1], (part[2] << 16) | part[3]};
}

versionblock::Description read(std::istream& in)
{
  versionblock::Description d;
  VS_FIXEDFILEINFO fixed = versionblock::fixedFileInfo(0, 0, 0, 0);
  bool haveFixed = false;
  std::string section;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    try {
      line = trim(line);
      if (line.empty() || line[0] == ';' || line[0] == '#')
        continue;
      if (line.front() == '[') {
        if (line.back() != ']')
          throw Error("a section header ends with ']'");
        section = trim(line.substr(1, line.size() - 2));
        if (section == "FixedFileInfo") {
          haveFixed = true;
        } else if (section == "VarFileInfo") {
          d.translations.emplace();
        } else if (section.rfind("StringFileInfo ", 0) == 0) {
          const std::string key = trim(section.substr(15));
          if (key.size() != 8 || key.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw Error("a string table is named by eight hexadecimal digits");
          d.stringTables.push_back({versionblock::fromUtf8(key), {}});
        } else {
          throw Error("unknown section [" + section + "]");
        }
        continue;
      }
      const auto eq = line.find('=');
      if (eq == std::string::npos)
        throw Error("expected key=value");
      const std::string key = trim(line.substr(0, eq));
      const std::string value = trim(line.substr(eq + 1));
      if (section == "FixedFileInfo") {
        if (key == "FileVersion")
          std::tie(fixed.dwFileVersionMS, fixed.dwFileVersionLS) = version(value);
        else if (key == "ProductVersion")
          std::tie(fixed.dwProductVersionMS, fixed.dwProductVersionLS) = version(value);
        else if (key == "FileFlagsMask")
          fixed.dwFileFlagsMask = number(value, 0xFFFFFFFF);
        else if (key == "FileFlags")
          fixed.dwFileFlags = number(value, 0xFFFFFFFF);
        else if (key == "FileOS")
          fixed.dwFileOS = number(value, 0xFFFFFFFF);
        else if (key == "FileType")
          fixed.dwFileType = number(value, 0xFFFFFFFF);
        else if (key == "FileSubtype")
          fixed.dwFileSubtype = number(value, 0xFFFFFFFF);
        else if (key == "FileDateMS")
          fixed.dwFileDateMS = number(value, 0xFFFFFFFF);
        else if (key == "FileDateLS")
          fixed.dwFileDateLS = number(value, 0xFFFFFFFF);
        else
          throw Error("unknown fixed item \"" + key + "\"");
      } else if (section == "VarFileInfo") {
        if (key != "Translation")
          throw Error("[VarFileInfo] holds only Translation");
        std::stringstream words(value);
        std::string language, codePage;
        while (words >> language) {
          if (!(words >> codePage))
            throw Error("Translation lists pairs of language and code page");
          d.translations->emplace_back(uint16_t(number(language, 0xFFFF)), uint16_t(number(codePage, 0xFFFF)));
        }
      } else if (!d.stringTables.empty() && section.rfind("StringFileInfo ", 0) == 0) {
        if (key.empty())
          throw Error("a string needs a key");
        d.stringTables.back().strings.emplace_back(versionblock::fromUtf8(key), versionblock::fromUtf8(value));
      } else {
        throw Error("key=value outside a section");
      }
    } catch (const Error& e) {
      throw Error("line " + std::to_string(lineNo) + ": " + e.what());
    }
  }
  if (haveFixed)
    d.fixed = fixed;
  return d;
}

std::string source(const std::vector<uint8_t>& block, const std::string& symbol, const std::string& from)
{
  std::ostringstream out;
  out << "// Generated by versiongen from " << from << "; edit that file, not this one.\n"
      << "// The version-information block, in the section where GetFileVersionInfo finds it.\n\n"
      << "alignas(4) __attribute__((section(\"" << executableimage::VersionSectionName << "\"), used))\n"
      << "extern const unsigned char " << symbol << "[" << block.size() << "] = {";
  for (std::size_t i = 0; i < block.size(); ++i) {
    if (i % 16 == 0)
      out << "\n ";
    char hex[8];
    std::snprintf(hex, sizeof hex, " 0x%02x,", block[i]);
    out << hex;
  }
  out << "\n};\n";
  return out.str();
}

}  // namespace

int main(int argc, char* argv[])
{
  if (argc != 4) {
    std::cerr << "usage: versiongen DESCRIPTION OUTPUT SYMBOL\n";
    return 2;
  }
  try {
    std::ifstream in(argv[1]);
    if (!in)
      throw Error("cannot open the description");
    const std::vector<uint8_t> block = versionblock::build(read(in));
    // Read back what was written, so a block the program could not read never reaches a build.
    if (versionblock::blockLength(block) != block.size())
      throw Error("the block does not read back");
    const std::string text = source(block, argv[3], std::filesystem::path(argv[1]).filename().string());
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush())
      throw Error(std::string("cannot write ") + argv[2]);
  } catch (const std::exception& e) {
    std::cerr << argv[1] << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}
