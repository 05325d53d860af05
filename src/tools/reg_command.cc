#include "tools/reg_command.h"

#include <cctype>
#include <istream>
#include <optional>
#include <ostream>

#include "config/registry_type_names.h"
#include "config/settings_check.h"
#include "config/settings_registry.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/registry/registry.h"
#include "platform/text/ascii_text.h"
#include "support/win_error_text.h"
#include "tools/reg_file_parser.h"
#include "tools/reg_file_writer.h"
#include "tools/reg_key_path.h"
#include "tools/reg_values.h"
#include "tools/tool_command.h"
#include "tools/tool_files.h"

namespace qv::tools {

using namespace platform;

namespace {

constexpr const char* kDone = "The operation completed successfully.";

constexpr const char* kHelp = R"(Usage: qvanctl reg OPERATION [ARGUMENTS]

  query KEY [/v NAME | /ve] [/s]
      Shows the values of KEY and its sub-keys; /v one value (/ve the default value);
      /s every key below KEY as well (with /v: every key below KEY that has the value).
  add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
      Creates KEY, and with /v or /ve adds or changes a value. TYPE is REG_SZ (the default),
      REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD or REG_BINARY. DATA: text; for REG_DWORD a number
      (decimal, or hexadecimal with 0x); for REG_BINARY pairs of hexadecimal digits; for
      REG_MULTI_SZ strings separated by \0 (or by /s SEPARATOR). /f changes an existing value
      without asking.
  delete KEY [/v NAME | /ve | /va] [/f]
      Deletes KEY with everything below it, or one value (/v, /ve), or every value of KEY (/va).
      /f deletes without asking.
  export KEY FILE [/y]
      Writes KEY and everything below it to FILE ("-" for standard output) in the REGEDIT4 format.
      /y replaces an existing FILE without asking.
  import FILE
      Applies a .reg file ("-" for standard input): REGEDIT4 or "Windows Registry Editor
      Version 5.00", single-byte text or UTF-16/UTF-8 with a byte-order mark.

KEY is a root, a backslash and the path: HKLM (HKEY_LOCAL_MACHINE), HKCU (HKEY_CURRENT_USER),
HKCR (HKEY_CLASSES_ROOT), HKU (HKEY_USERS) or HKCC (HKEY_CURRENT_CONFIG), for example
'HKLM\Software\HOLLBERG\Qvan' (quoted, so that the shell keeps the backslashes).
Options may also be written with a dash (-v) and in any case. Under 'HKLM\Software\HOLLBERG\Qvan'
add checks the service's settings: a setting of another type than its own is refused, a name that is
no setting and a number out of range are added with a warning. query shows a REG_DWORD in hexadecimal
and decimal: 0x1f90 (8080).
)";

// The text of a registry call's failure.
std::string ErrorText(uint32_t code) {
  if (code == ERROR_FILE_NOT_FOUND)
    return "The system was unable to find the specified registry key or value.";
  if (code == ERROR_ACCESS_DENIED && RegistryHiveIsWriteProtected())
    return "Access is denied: the registry hive \"" + RegistryHiveFile() + "\" is write-protected.";
  return GetWinErrorText(static_cast<int32_t>(code));
}

void Check(uint32_t code, const std::string& what = "") {
  if (code == ERROR_SUCCESS) return;
  throw EToolFailure(what.empty() ? ErrorText(code) : what + ": " + ErrorText(code));
}

// The value named by /v NAME or /ve; nothing when neither is given.
std::optional<std::string> ValueName(const ToolArguments& arguments) {
  if (arguments.Has("/v") && arguments.Has("/ve")) throw EUsageError("give either /v NAME or /ve, not both");
  if (arguments.Has("/ve")) return std::string();
  return arguments.Value("/v");
}

// Asks a yes-or-no question on the tool's streams; anything but yes (or no answer) is no.
bool Confirm(ToolStreams& io, const std::string& question) {
  io.out << question << " (Yes/No)? " << std::flush;
  std::string answer;
  if (!std::getline(io.in, answer)) {
    io.out << "\n";
    return false;
  }
  answer = AsciiLowerCase(answer);
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back()))) answer.pop_back();
  return answer == "y" || answer == "yes";
}

void Cancelled() {
  throw EToolFailure("The operation was cancelled.");
}

RegKey OpenKey(const RegKeyPath& path, REGSAM access) {
  RegKey key;
  Check(RegOpenKeyEx(path.root, path.sub_key, 0, access, key.Receive()));
  return key;
}

std::vector<std::string> SubKeyNames(HKEY key) {
  std::vector<std::string> names;
  std::string name;
  uint32_t code = ERROR_SUCCESS;
  for (uint32_t index = 0; (code = RegEnumKeyEx(key, index, &name)) == ERROR_SUCCESS; ++index)
    names.push_back(name);
  if (code != ERROR_NO_MORE_ITEMS) Check(code);
  return names;
}

struct Value {
  std::string name;
  uint32_t type = REG_NONE;
  std::string data;
};

std::vector<Value> Values(HKEY key) {
  std::vector<Value> values;
  Value value;
  uint32_t code = ERROR_SUCCESS;
  for (uint32_t index = 0;
       (code = RegEnumValue(key, index, &value.name, &value.type, &value.data)) == ERROR_SUCCESS; ++index)
    values.push_back(value);
  if (code != ERROR_NO_MORE_ITEMS) Check(code);
  return values;
}

std::string ValueLine(const Value& value) {
  return "    " + (value.name.empty() ? std::string("(Default)") : value.name) + "    " +
         RegistryTypeName(value.type) + "    " + ShowData(value.type, value.data);
}

// Deletes a key with everything below it, depth first.
uint32_t DeleteTree(HKEY base, const std::string& sub_key) {
  {
    RegKey key;
    if (const uint32_t code = RegOpenKeyEx(base, sub_key, 0, KEY_READ | DELETE, key.Receive());
        code != ERROR_SUCCESS)
      return code;
    for (const std::string& child : SubKeyNames(key.Get()))
      if (const uint32_t code = DeleteTree(key.Get(), child); code != ERROR_SUCCESS) return code;
  }
  return RegDeleteKey(base, sub_key);
}

// Deletes the key at the path with everything below it, in the transaction; nothing when it is missing.
void DeleteTreeIn(RegTransaction& transaction, const RegKeyPath& path) {
  const size_t cut = path.sub_key.find_last_of('\\');
  const std::string parent_path = cut == std::string::npos ? std::string() : path.sub_key.substr(0, cut);
  const std::string name = cut == std::string::npos ? path.sub_key : path.sub_key.substr(cut + 1);
  RegKey parent;
  uint32_t code =
      RegOpenKeyTransacted(path.root, parent_path, 0, KEY_READ | DELETE, parent.Receive(), transaction);
  if (code == ERROR_SUCCESS) code = DeleteTree(parent.Get(), name);
  if (code != ERROR_FILE_NOT_FOUND) Check(code, path.FullName());
}

// ---- query ----

void ShowKey(ToolStreams& io, HKEY key, const std::string& full_name, bool recursive) {
  io.out << "\n" << full_name << "\n";
  for (const Value& value : Values(key)) io.out << ValueLine(value) << "\n";
  const std::vector<std::string> children = SubKeyNames(key);
  if (!recursive) {
    if (!children.empty()) io.out << "\n";
    for (const std::string& child : children) io.out << full_name << "\\" << child << "\n";
    return;
  }
  for (const std::string& child : children) {
    RegKey sub;
    Check(RegOpenKeyEx(key, child, 0, KEY_READ, sub.Receive()), full_name + "\\" + child);
    ShowKey(io, sub.Get(), full_name + "\\" + child, true);
  }
}

// Shows the value in the key and below it; returns how many keys have it.
int SearchValue(ToolStreams& io, HKEY key, const std::string& full_name, const std::string& name) {
  int matches = 0;
  uint32_t type = REG_NONE;
  std::string data;
  const uint32_t code = RegQueryValueEx(key, name, &type, &data);
  if (code == ERROR_SUCCESS) {
    io.out << "\n" << full_name << "\n" << ValueLine({name, type, data}) << "\n";
    ++matches;
  } else if (code != ERROR_FILE_NOT_FOUND) {
    Check(code, full_name);
  }
  for (const std::string& child : SubKeyNames(key)) {
    RegKey sub;
    Check(RegOpenKeyEx(key, child, 0, KEY_READ, sub.Receive()), full_name + "\\" + child);
    matches += SearchValue(io, sub.Get(), full_name + "\\" + child, name);
  }
  return matches;
}

int Query(const ToolArguments& arguments, ToolStreams& io) {
  const RegKeyPath path =
      ParseKeyPath(arguments.Positional(1, 1, "expected query KEY [/v NAME | /ve] [/s]")[0]);
  const std::optional<std::string> name = ValueName(arguments);
  const RegKey key = OpenKey(path, KEY_READ);
  if (!name) {
    ShowKey(io, key.Get(), path.FullName(), arguments.Has("/s"));
    io.out << "\n";
    return 0;
  }
  if (arguments.Has("/s")) {
    const int matches = SearchValue(io, key.Get(), path.FullName(), *name);
    io.out << "\nEnd of search: " << matches << " match(es) found.\n";
    return matches > 0 ? 0 : 1;
  }
  Value value{*name, REG_NONE, ""};
  Check(RegQueryValueEx(key.Get(), *name, &value.type, &value.data));
  io.out << "\n" << path.FullName() << "\n" << ValueLine(value) << "\n\n";
  return 0;
}

// ---- add ----

bool IsServiceSettingsKey(const RegKeyPath& path) {
  return path.root == HKEY_LOCAL_MACHINE &&
         AsciiLowerCase(path.sub_key) == AsciiLowerCase(std::string(TWCRegistry::kSettingsKey + 1));
}

// A value under the service's key is checked against its settings: a setting of a type its reader
// refuses is no value to store (the service would not start, or would replace it), a name that is no
// setting or a number out of range is stored with a warning.
void CheckServiceSetting(const std::string& name, uint32_t type, const std::string& data, ToolStreams& io) {
  const SettingRow* row = FindSetting(name);
  if (row != nullptr && !SettingAcceptsType(*row, type))
    throw EToolFailure(std::string(row->name) + " is a " + SettingTypeText(*row) +
                       " setting: add it with /t " +
                       (row->type == SettingType::kNumber ? "REG_DWORD" : "REG_SZ"));
  if (const std::optional<std::string> problem = SettingValueProblem({name, type, data}))
    io.err << "qvanctl reg: warning: " << *problem << "\n";
}

int Add(const ToolArguments& arguments, ToolStreams& io) {
  const RegKeyPath path = ParseKeyPath(arguments.Positional(
      1, 1, "expected add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]")[0]);
  const std::optional<std::string> name = ValueName(arguments);
  if (!name && (arguments.Has("/t") || arguments.Has("/d") || arguments.Has("/s")))
    throw EUsageError("/t, /d and /s need a value: /v NAME or /ve");
  const uint32_t type = ParseAddType(arguments.Value("/t").value_or("REG_SZ"));
  if (arguments.Has("/s") && type != REG_MULTI_SZ) throw EUsageError("/s SEPARATOR is for REG_MULTI_SZ only");
  const std::string data =
      name ? ParseAddData(type, arguments.Value("/d").value_or(""), arguments.Value("/s").value_or("\\0"))
           : "";
  if (name && IsServiceSettingsKey(path)) CheckServiceSetting(*name, type, data, io);

  RegKey key;
  Check(RegCreateKeyEx(path.root, path.sub_key, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, key.Receive(),
                       nullptr),
        path.FullName());
  if (name) {
    const bool exists = RegQueryValueEx(key.Get(), *name, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    if (exists && !arguments.Has("/f") &&
        !Confirm(io, "Value " + (name->empty() ? std::string("(Default)") : *name) + " exists, overwrite"))
      Cancelled();
    Check(RegSetValueEx(key.Get(), *name, type, data));
  }
  io.out << kDone << "\n";
  return 0;
}

// ---- delete ----

int Delete(const ToolArguments& arguments, ToolStreams& io) {
  const RegKeyPath path =
      ParseKeyPath(arguments.Positional(1, 1, "expected delete KEY [/v NAME | /ve | /va] [/f]")[0]);
  const std::optional<std::string> name = ValueName(arguments);
  const bool force = arguments.Has("/f");
  if (name && arguments.Has("/va")) throw EUsageError("give one of /v NAME, /ve and /va");

  if (name) {
    const RegKey key = OpenKey(path, KEY_READ | KEY_SET_VALUE);
    Check(RegQueryValueEx(key.Get(), *name, nullptr, nullptr, nullptr));
    if (!force &&
        !Confirm(io, "Delete the registry value " + (name->empty() ? std::string("(Default)") : *name)))
      Cancelled();
    Check(RegDeleteValue(key.Get(), *name));
  } else if (arguments.Has("/va")) {
    const RegKey key = OpenKey(path, KEY_READ | KEY_SET_VALUE);
    if (!force && !Confirm(io, "Delete all values under the registry key " + path.FullName())) Cancelled();
    for (const Value& value : Values(key.Get())) Check(RegDeleteValue(key.Get(), value.name), value.name);
  } else {
    if (path.sub_key.empty()) throw EUsageError("a root key cannot be deleted");
    OpenKey(path, KEY_READ);
    if (!force && !Confirm(io, "Permanently delete the registry key " + path.FullName())) Cancelled();
    Check(DeleteTree(path.root, path.sub_key), path.FullName());
  }
  io.out << kDone << "\n";
  return 0;
}

// ---- export ----

void Collect(HKEY key, const std::string& full_name, RegFile* file) {
  RegFileKey entry;
  entry.path = full_name;
  for (const Value& value : Values(key)) {
    RegFileValue stored;
    stored.name = value.name;
    stored.type = value.type;
    stored.data = value.data;
    entry.values.push_back(std::move(stored));
  }
  file->keys.push_back(std::move(entry));
  for (const std::string& child : SubKeyNames(key)) {
    RegKey sub;
    Check(RegOpenKeyEx(key, child, 0, KEY_READ, sub.Receive()), full_name + "\\" + child);
    Collect(sub.Get(), full_name + "\\" + child, file);
  }
}

int Export(const ToolArguments& arguments, ToolStreams& io) {
  const std::vector<std::string>& positional = arguments.Positional(2, 2, "expected export KEY FILE [/y]");
  const RegKeyPath path = ParseKeyPath(positional[0]);
  const std::string& file_name = positional[1];
  RegFile file;
  Collect(OpenKey(path, KEY_READ).Get(), path.FullName(), &file);
  const std::string text = FormatRegFile(file);
  if (file_name == "-") {
    io.out << text;
    return 0;
  }
  if (FileExists(file_name) && !arguments.Has("/y") &&
      !Confirm(io, "File " + file_name + " already exists. Overwrite"))
    Cancelled();
  WriteFile(file_name, text);
  io.out << kDone << "\n";
  return 0;
}

// ---- import ----

int Import(const ToolArguments& arguments, ToolStreams& io) {
  const std::string& file_name = arguments.Positional(1, 1, "expected import FILE")[0];
  const std::string text = ReadFileOrInput(file_name, io.in);
  const std::string source = file_name == "-" ? "standard input" : file_name;

  // Everything is checked before anything is changed.
  RegFile file;
  std::vector<RegKeyPath> paths;
  try {
    file = ParseRegFile(text);
    for (const RegFileKey& key : file.keys) {
      try {
        paths.push_back(ParseKeyPath(key.path));
      } catch (const EKeyPathError& error) {
        throw ERegFileError("line " + std::to_string(key.line) + ": " + error.Message());
      }
      if (key.remove && paths.back().sub_key.empty())
        throw ERegFileError("line " + std::to_string(key.line) + ": a root key cannot be deleted");
    }
  } catch (const ERegFileError& error) {
    throw EToolFailure(source + ", " + error.Message());
  }

  // All of it or nothing: one transaction, committed once every change has been made.
  std::optional<RegTransaction> began;
  try {
    began.emplace();
  } catch (const EWin32Error& error) {
    Check(error.ErrorCode, source);
  }
  RegTransaction& transaction = *began;
  for (size_t i = 0; i < file.keys.size(); ++i) {
    const RegFileKey& entry = file.keys[i];
    const RegKeyPath& path = paths[i];
    if (entry.remove) {
      DeleteTreeIn(transaction, path);
      continue;
    }
    RegKey key;
    Check(RegCreateKeyTransacted(path.root, path.sub_key, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                 key.Receive(), nullptr, transaction),
          path.FullName());
    for (const RegFileValue& value : entry.values) {
      const std::string where = path.FullName() + " " + (value.name.empty() ? "(Default)" : value.name);
      if (value.remove) {
        if (const uint32_t code = RegDeleteValue(key.Get(), value.name); code != ERROR_FILE_NOT_FOUND)
          Check(code, where);
      } else {
        Check(RegSetValueEx(key.Get(), value.name, value.type, value.data), where);
      }
    }
  }
  Check(transaction.Commit(), source);
  io.out << kDone << "\n";
  return 0;
}

}  // namespace

int RegCommand(const std::vector<std::string>& args, ToolStreams& io) {
  static const ToolCommand kCommand{"qvanctl reg",
                                    kHelp,
                                    "operation",
                                    OptionSpelling::kWindows,
                                    {{"query", {{"/s", "/ve"}, {"/v"}}, Query},
                                     {"add", {{"/ve", "/f"}, {"/v", "/t", "/d", "/s"}}, Add},
                                     {"delete", {{"/ve", "/va", "/f"}, {"/v"}}, Delete},
                                     {"export", {{"/y"}, {}}, Export},
                                     {"import", {}, Import}}};
  return RunToolCommand(kCommand, args, io);
}

}  // namespace qv::tools
