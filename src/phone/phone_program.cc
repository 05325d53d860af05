#include "phone/phone_program.h"

#include "phone/phone_options.h"
#include "phone/phone_viewer.h"
#include "platform/process/stop_request.h"
#include "support/program_version.h"
#include "tools/tool_arguments.h"

namespace qv::phone {

namespace {

constexpr const char* kUsage =
    "Usage: quorvane-phone [--listen ADDR:PORT] [--service URL] [--max-pdu N]\n"
    "       quorvane-phone --help | --version\n"
    "\n"
    "Shows the service's pages in a desktop browser as a WAP phone would show them. Each page of the\n"
    "viewer fetches the service's page of the same query, as a WAP gateway does, and draws its card in\n"
    "a phone-sized frame; under the phone it says whether the deck is well-formed WML 1.1 and fits the\n"
    "phone, and what is wrong with it.\n"
    "\n"
    "  --listen ADDR:PORT  where the viewer listens (default 127.0.0.1:8081)\n"
    "  --service URL       the service (default http://127.0.0.1:8080/)\n"
    "  --max-pdu N         the phone's largest message in bytes (default 1400)\n"
    "\n"
    "Ctrl+C stops it.\n";

}  // namespace

int RunPhoneProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    const PhoneOptions options = ReadPhoneOptions(args);
    if (options.help) {
      out << kUsage;
      return 0;
    }
    if (options.version) {
      out << ProgramVersionText("quorvane-phone");
      return 0;
    }
    // Before the viewer's threads start, so that none of them is ended by a stop request.
    platform::StopRequest stop;
    const PhoneViewer viewer(options.listen_address, options.listen_port,
                             ViewerSettings{ServiceUrl(options.service), options.max_pdu});
    out << viewer.Address() << " shows " << options.service << " as a phone of " << options.max_pdu
        << " bytes (Ctrl+C stops it)" << std::endl;
    stop.Wait();
    return 0;
  } catch (const tools::EUsageError& error) {
    err << "quorvane-phone: " << error.Message() << " (try quorvane-phone --help)\n";
    return 2;
  } catch (const std::exception& error) {
    err << "quorvane-phone: " << error.what() << "\n";
    return 1;
  }
}

}  // namespace qv::phone
