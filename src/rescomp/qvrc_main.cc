// qvrc, the resource compiler of the build: turns resource scripts (.rc: the version information)
// and message files (.mc: the message catalogue) into a resource section, and writes it as C++
// source for an ELF program, as a resource-only PE image, as a minimal ELF file or as bare bytes.
// The build gives every program its resources this way, test programs too, so a test's own file
// holds the catalogue that its event source's EventMessageFile names. A stand-in program file with a
// version resource of its own choosing (an information store's, say) is one script and one call.
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/resources/program_resources.h"
#include "platform/resources/resource_format.h"
#include "rescomp/byte_writer.h"
#include "rescomp/image_writer.h"
#include "rescomp/message_file.h"
#include "rescomp/message_table_builder.h"
#include "rescomp/resource_script.h"

namespace {

using namespace qv::rescomp;

constexpr char kUsage[] =
    "usage: qvrc [--rc SCRIPT]... [--mc MESSAGES]... OUTPUT...\n"
    "  --rc SCRIPT       a resource script (LANGUAGE and VERSIONINFO statements)\n"
    "  --mc MESSAGES     a message file; each language becomes a message table (id 1)\n"
    "outputs:\n"
    "  --cc FILE         C++ source placing the resources in the ELF section .rsrc of its program\n"
    "  --pe FILE         a resource-only Windows image (PE32)\n"
    "  --pe64 FILE       the same as PE32+\n"
    "  --elf FILE        a minimal ELF file holding only the .rsrc section\n"
    "  --section FILE    the bare .rsrc section (addresses relative to its start)\n";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EResourceError("cannot open " + path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  if (!out) throw EResourceError("cannot write " + path);
}

std::string AsText(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

int Run(const std::vector<std::string>& args) {
  std::vector<Resource> resources;
  std::vector<std::pair<std::string, std::string>> outputs;  // option, file
  std::string origin;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--help" || option == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (i + 1 >= args.size()) throw EResourceError("missing argument after " + option);
    const std::string& file = args[++i];
    if (option == "--rc") {
      for (Resource& r : ParseResourceScript(ReadFile(file), file)) resources.push_back(std::move(r));
    } else if (option == "--mc") {
      const MessageCatalogue catalogue = ParseMessageFile(ReadFile(file), file);
      for (const auto& [language, texts] : catalogue.texts) {
        resources.push_back({qv::platform::kResourceTypeMessageTable,
                             qv::platform::resource_format::kMessageTableId, language,
                             BuildMessageTable(texts)});
      }
    } else if (option == "--cc" || option == "--pe" || option == "--pe64" || option == "--elf" ||
               option == "--section") {
      outputs.emplace_back(option, file);
      continue;
    } else {
      throw EResourceError("unknown option " + option);
    }
    origin += (origin.empty() ? "" : " and ") + file.substr(file.find_last_of('/') + 1);
  }
  if (outputs.empty()) throw EResourceError("no output given");

  const std::vector<uint8_t> section = BuildResourceSection(resources, 0);
  for (const auto& [option, file] : outputs) {
    if (option == "--cc") {
      WriteFile(file, BuildSectionSource(section, origin));
    } else if (option == "--pe") {
      WriteFile(file, AsText(BuildPeImage(resources)));
    } else if (option == "--pe64") {
      WriteFile(file, AsText(BuildPeImage(resources, PeFormat::kPe32Plus)));
    } else if (option == "--elf") {
      WriteFile(file, AsText(BuildElfImage(section)));
    } else {
      WriteFile(file, AsText(section));
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& error) {
    std::cerr << "qvrc: " << error.what() << "\n";
    if (argc <= 1) std::cerr << kUsage;
    return 1;
  }
}
