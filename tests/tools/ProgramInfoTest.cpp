// What the shipped programs tell Windows and Explorer about themselves, read back from the built files
// of this build tree: the application manifest (parsed as XML) and the version information, and the
// tools' --version beside it.

#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "addon/Version.h"
#include "tests/support/TestSupport.h"

namespace {

// --- a small XML reader: elements, attributes, comments, the declaration; enough for a manifest ----

struct XmlElement {
  std::string name;  // without a namespace prefix
  std::map<std::string, std::string> attributes;
  std::vector<std::unique_ptr<XmlElement>> children;
  std::string text;

  std::vector<const XmlElement*> All(const std::string& childName) const {
    std::vector<const XmlElement*> found;
    for (const auto& child : children)
      if (child->name == childName) found.push_back(child.get());
    return found;
  }
  const XmlElement* One(const std::string& childName) const {
    std::vector<const XmlElement*> found = All(childName);
    return found.size() == 1 ? found[0] : nullptr;
  }
  std::string Attribute(const std::string& attribute) const {
    auto it = attributes.find(attribute);
    return it == attributes.end() ? std::string() : it->second;
  }
};

class XmlReader {
 public:
  explicit XmlReader(const std::string& text) : text_(text) {}

  // The root element, or null with the reason in `problem` when the text is not well formed.
  std::unique_ptr<XmlElement> Read(std::string* problem) {
    std::unique_ptr<XmlElement> root;
    SkipMisc();
    if (Peek("<?xml")) {
      size_t end = text_.find("?>", pos_);
      if (end == std::string::npos) return Fail(problem, "unterminated declaration");
      pos_ = end + 2;
    }
    SkipMisc();
    root = ReadElement();
    if (!root) return Fail(problem, error_.empty() ? "no root element" : error_);
    SkipMisc();
    if (pos_ != text_.size()) return Fail(problem, "text after the root element");
    return root;
  }

 private:
  std::unique_ptr<XmlElement> Fail(std::string* problem, const std::string& why) {
    *problem = why + " at byte " + std::to_string(pos_);
    return nullptr;
  }
  bool Peek(const char* literal) const { return text_.compare(pos_, std::strlen(literal), literal) == 0; }
  void SkipSpace() {
    while (pos_ < text_.size() && std::strchr(" \t\r\n", text_[pos_])) ++pos_;
  }
  // Blanks and comments.
  void SkipMisc() {
    for (;;) {
      SkipSpace();
      if (!Peek("<!--")) return;
      size_t end = text_.find("-->", pos_ + 4);
      pos_ = end == std::string::npos ? text_.size() : end + 3;
    }
  }
  static std::string Local(const std::string& name) {
    size_t colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
  }
  std::string ReadName() {
    size_t start = pos_;
    while (pos_ < text_.size() &&
           (std::isalnum(static_cast<unsigned char>(text_[pos_])) || std::strchr(":_-.", text_[pos_])))
      ++pos_;
    return text_.substr(start, pos_ - start);
  }
  std::unique_ptr<XmlElement> ReadElement() {
    if (!Peek("<")) return nullptr;
    ++pos_;
    const std::string fullName = ReadName();
    if (fullName.empty()) return Error("element without a name");
    auto element = std::make_unique<XmlElement>();
    element->name = Local(fullName);
    for (;;) {
      SkipSpace();
      if (Peek("/>")) {
        pos_ += 2;
        return element;
      }
      if (Peek(">")) {
        ++pos_;
        break;
      }
      const std::string attribute = ReadName();
      if (attribute.empty()) return Error("bad attribute");
      SkipSpace();
      if (!Peek("=")) return Error("attribute without a value");
      ++pos_;
      SkipSpace();
      if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\'')) return Error("unquoted value");
      const char quote = text_[pos_++];
      size_t end = text_.find(quote, pos_);
      if (end == std::string::npos) return Error("unterminated value");
      if (!element->attributes.emplace(attribute, text_.substr(pos_, end - pos_)).second)
        return Error("attribute given twice");
      pos_ = end + 1;
    }
    for (;;) {
      size_t start = pos_;
      while (pos_ < text_.size() && text_[pos_] != '<') ++pos_;
      element->text += text_.substr(start, pos_ - start);
      if (pos_ >= text_.size()) return Error("unterminated element " + fullName);
      if (Peek("<!--")) {
        SkipMisc();
        continue;
      }
      if (Peek("</")) {
        pos_ += 2;
        if (ReadName() != fullName) return Error("end tag does not match " + fullName);
        SkipSpace();
        if (!Peek(">")) return Error("bad end tag");
        ++pos_;
        return element;
      }
      std::unique_ptr<XmlElement> child = ReadElement();
      if (!child) return nullptr;
      element->children.push_back(std::move(child));
    }
  }
  std::unique_ptr<XmlElement> Error(const std::string& why) {
    if (error_.empty()) error_ = why;
    return nullptr;
  }

  const std::string& text_;
  size_t pos_ = 0;
  std::string error_;
};

TEST(ManifestReader, TellsWellFormedFromBroken) {
  std::string problem;
  auto root = XmlReader("<?xml version=\"1.0\"?><!-- c --><a x='1'><b y=\"表\"/><c>ソ</c><b/></a>").Read(&problem);
  ASSERT_TRUE(root) << problem;
  EXPECT_EQ("a", root->name);
  EXPECT_EQ(2u, root->All("b").size());
  EXPECT_EQ("表", root->All("b")[0]->Attribute("y"));
  ASSERT_NE(nullptr, root->One("c"));
  EXPECT_EQ("ソ", root->One("c")->text);
  for (const char* broken : {"<a><b></a>", "<a>", "<a x=1/>", "<a/><b/>", "<a x='1' x='2'/>", ""})
    EXPECT_FALSE(XmlReader(broken).Read(&problem)) << broken;
}

// --- the programs ------------------------------------------------------------------------------------

struct Program {
  const char* path;  // below the build tree
  const char* name;
  const char* level;
  const char* description;
};

const Program kPrograms[] = {
    {"setup\\setup.exe", "setup", "requireAdministrator", "セットアップ"},
    {"tools\\uninstall.exe", "uninstall", "requireAdministrator", "アンインストール"},
    {"tools\\installer_demo.exe", "installer_demo", "requireAdministrator", "インストーラ補助の実演"},
    {"tools\\packtool.exe", "packtool", "asInvoker", "パックファイルツール"},
    {"tools\\imagetool\\imagetool.exe", "imagetool", "asInvoker", "画像ツール"},
    {"tools\\setup_robot.exe", "setup_robot", "asInvoker", "セットアップの操作ロボット"},
    {"tools\\framework_demo.exe", "framework_demo", "asInvoker", "フレームワークの表示例"},
};

std::string BuildTree() {
  const std::string tests = testing_support::ThisProgramFolder();
  return tests.substr(0, tests.find_last_of('\\'));
}

std::string ProgramPath(const Program& program) { return BuildTree() + "\\" + program.path; }

// The manifest resource (id 1, type 24) of a program, "" when it has none.
std::string ManifestOf(const std::string& path) {
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return std::string();
  std::string manifest;
  if (HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
    HGLOBAL loaded = LoadResource(module, resource);
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (bytes) manifest.assign(bytes, SizeofResource(module, resource));
  }
  FreeLibrary(module);
  return manifest;
}

TEST(ProgramManifest, EveryProgramStatesItsRightsAndTheSystemsItKnows) {
  const std::set<std::string> systems = {
      "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
      "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
      "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
      "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
      "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
  };
  const std::string architecture = sizeof(void*) == 8 ? "amd64" : "x86";
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.path);
    const std::string manifest = ManifestOf(ProgramPath(program));
    ASSERT_FALSE(manifest.empty()) << "no manifest resource";
    std::string problem;
    std::unique_ptr<XmlElement> assembly = XmlReader(manifest).Read(&problem);
    ASSERT_TRUE(assembly) << problem << "\n" << manifest;
    EXPECT_EQ("assembly", assembly->name);
    EXPECT_EQ("urn:schemas-microsoft-com:asm.v1", assembly->Attribute("xmlns"));
    EXPECT_EQ("1.0", assembly->Attribute("manifestVersion"));
    const XmlElement* identity = assembly->One("assemblyIdentity");
    ASSERT_NE(nullptr, identity);
    EXPECT_EQ(architecture, identity->Attribute("processorArchitecture"));
    EXPECT_EQ(std::string(ADDON_VERSION_TEXT) + ".0", identity->Attribute("version"));

    const XmlElement* trust = assembly->One("trustInfo");
    ASSERT_NE(nullptr, trust);
    EXPECT_EQ("urn:schemas-microsoft-com:asm.v3", trust->Attribute("xmlns"));
    const XmlElement* security = trust->One("security");
    const XmlElement* privileges = security ? security->One("requestedPrivileges") : nullptr;
    const XmlElement* level = privileges ? privileges->One("requestedExecutionLevel") : nullptr;
    ASSERT_NE(nullptr, level);
    EXPECT_EQ(program.level, level->Attribute("level"));
    EXPECT_EQ("false", level->Attribute("uiAccess"));

    const XmlElement* compatibility = assembly->One("compatibility");
    ASSERT_NE(nullptr, compatibility);
    EXPECT_EQ("urn:schemas-microsoft-com:compatibility.v1", compatibility->Attribute("xmlns"));
    const XmlElement* application = compatibility->One("application");
    ASSERT_NE(nullptr, application);
    std::set<std::string> listed;
    for (const XmlElement* os : application->All("supportedOS")) listed.insert(os->Attribute("Id"));
    EXPECT_EQ(systems, listed);
    EXPECT_EQ(5u, application->All("supportedOS").size());

    // The controls keep their classic look: no dependency on the visual-styles common controls.
    EXPECT_TRUE(assembly->All("dependency").empty());
    EXPECT_EQ(std::string::npos, manifest.find("Common-Controls"));
  }
}

// A string of the Japanese (code page 932) block, "" when missing.
std::string VersionString(const std::vector<char>& info, const char* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::string key = std::string("\\StringFileInfo\\041103A4\\") + name;
  if (!VerQueryValueA(info.data(), key.c_str(), &value, &length) || !value) return std::string();
  return std::string(static_cast<const char*>(value));
}

std::vector<char> VersionInfoOf(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  std::vector<char> info(size);
  if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, info.data())) info.clear();
  return info;
}

TEST(ProgramVersion, EveryProgramCarriesTheOneVersionAndItsJapaneseDescription) {
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.path);
    std::vector<char> info = VersionInfoOf(ProgramPath(program));
    ASSERT_FALSE(info.empty()) << "no version information, error " << GetLastError();

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof *fixed);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)));
    EXPECT_EQ(ADDON_VERSION_TEXT, std::string(numbers));
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    WORD* translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(0x0411, translation[0]) << "Japanese";
    EXPECT_EQ(932, translation[1]) << "code page 932";

    // Read back in this process's code page, 932: the very bytes of the program's own texts.
    EXPECT_EQ(program.description, VersionString(info, "FileDescription"));
    EXPECT_EQ("Sorvane・Dorvelo", VersionString(info, "ProductName"));
    EXPECT_EQ(ADDON_PRODUCT_NAME, VersionString(info, "ProductName"));
    EXPECT_EQ(ADDON_COPYRIGHT, VersionString(info, "LegalCopyright"));
    EXPECT_EQ(0u, VersionString(info, "LegalCopyright").find("Copyright (C) "));
    EXPECT_EQ(ADDON_VERSION_TEXT, VersionString(info, "FileVersion"));
    EXPECT_EQ(ADDON_VERSION_TEXT, VersionString(info, "ProductVersion"));
    EXPECT_EQ(std::string(program.name) + ".exe", VersionString(info, "OriginalFilename"));
  }
  // A description with a trail byte equal to '\' (表 of 表示例), where a wrong code page shows first.
  EXPECT_NE(std::string::npos, std::string(kPrograms[6].description).find('\\'));
}

// Runs a program and returns what it wrote to its standard output.
std::string OutputOf(const std::string& commandLine, DWORD* exitCode) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return std::string();
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  std::string line = commandLine;
  std::string output;
  if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    CloseHandle(write);
    write = nullptr;
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (write) CloseHandle(write);
  CloseHandle(read);
  return output;
}

TEST(ProgramVersion, TheToolsPrintTheVersionOfTheirResource) {
  for (const Program& program : kPrograms) {
    const std::string name = program.name;
    if (name != "packtool" && name != "imagetool" && name != "uninstall") continue;
    SCOPED_TRACE(program.path);
    std::vector<char> info = VersionInfoOf(ProgramPath(program));
    ASSERT_FALSE(info.empty());
    DWORD exitCode = 1;
    std::string output = OutputOf("\"" + ProgramPath(program) + "\" --version", &exitCode);
    // The C runtime's text mode writes CR LF.
    for (size_t cr; (cr = output.find('\r')) != std::string::npos;) output.erase(cr, 1);
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(name + " " + VersionString(info, "FileVersion") + "\n" + VersionString(info, "ProductName") + "\n" +
                  VersionString(info, "LegalCopyright") + "\n",
              output);
  }
}

}  // namespace
