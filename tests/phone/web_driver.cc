#include "phone/web_driver.h"

#include "phone/phone_libraries.h"
#include "platform/clock/clock.h"
#include "testing/file_texts.h"
#include "testing/loopback_client.h"

namespace qv::testing {

namespace {

// The key under which the protocol names an element.
constexpr const char* kElementKey = "element-6066-11e4-a52e-4f735466cecf";

// Headless, and nothing that reaches out to the network, which a closed machine refuses.
const std::vector<std::string> kBrowserFlags = {"--headless",
                                                "--no-sandbox",
                                                "--disable-gpu",
                                                "--disable-quic",
                                                "--no-first-run",
                                                "--disable-background-networking",
                                                "--disable-component-update",
                                                "--disable-sync"};

size_t KeepAnswer(char* data, size_t size, size_t count, void* answer) {
  static_cast<std::string*>(answer)->append(data, size * count);
  return size * count;
}

std::string Base64Decoded(const std::string& text) {
  static constexpr std::string_view kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  uint32_t bits = 0;
  int count = 0;
  for (const char c : text) {
    const size_t value = kDigits.find(c);
    if (value == std::string_view::npos) continue;  // padding and line ends
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return bytes;
}

}  // namespace

std::string WebElement::Text() const {
  return browser_->Command("GET", "/element/" + id_ + "/text").get<std::string>();
}

std::string WebElement::Property(const std::string& name) const {
  const nlohmann::json value = browser_->Command("GET", "/element/" + id_ + "/property/" + name);
  return value.is_string() ? value.get<std::string>() : value.dump();
}

void WebElement::Type(const std::string& text) const {
  browser_->Command("POST", "/element/" + id_ + "/value", nlohmann::json{{"text", text}});
}

void WebElement::Click() const {
  browser_->Command("POST", "/element/" + id_ + "/click", nlohmann::json::object());
}

WebBrowser::WebBrowser(const std::string& work_directory) {
  phone::UsePhoneLibraries();
  port_ = FreeLoopbackPort();
  if (port_ == 0) throw EWebDriverError("no free port for chromedriver");
  if (!driver_.Start("chromedriver", {"--port=" + std::to_string(port_)},
                     work_directory + "/chromedriver.log"))
    throw EWebDriverError("chromedriver could not be started: is Debian's chromium-driver installed?");
  const uint32_t start = platform::GetTickCount();
  while (!Accepts(port_)) {
    if (platform::GetTickCount() - start > kPatience) {
      EndDriver();
      throw EWebDriverError("chromedriver does not listen: " +
                            FileText(work_directory + "/chromedriver.log"));
    }
    platform::Sleep(20);
  }
  std::vector<std::string> flags = kBrowserFlags;
  flags.push_back("--user-data-dir=" + work_directory + "/browser-profile");
  const nlohmann::json capabilities = {
      {"capabilities",
       {{"alwaysMatch",
         {{"browserName", "chrome"},
          {"goog:chromeOptions", {{"binary", QV_CHROMIUM_PROGRAM}, {"args", flags}}}}}}}};
  try {
    session_ = Call("POST", "/session", capabilities)["sessionId"].get<std::string>();
    // Room for a whole list page and what the viewer says under it.
    Command("POST", "/window/rect", nlohmann::json{{"width", 720}, {"height", 980}});
  } catch (...) {
    EndDriver();  // which ends a browser it started
    throw;
  }
}

WebBrowser::~WebBrowser() {
  try {
    if (!session_.empty()) Call("DELETE", "/session/" + session_, std::nullopt);
  } catch (const std::exception&) {
    // The driver ends the browser with itself.
  }
  EndDriver();
}

void WebBrowser::EndDriver() {
  try {
    Call("GET", "/shutdown", std::nullopt);
  } catch (const std::exception&) {
    // It is ended below.
  }
  uint32_t exit_code = 0;
  if (!driver_.Wait(&exit_code, kPatience)) {
    platform::TerminateProcessById(driver_.ProcessId(), 1);
    driver_.Wait(&exit_code);
  }
}

nlohmann::json WebBrowser::Call(const std::string& method, const std::string& path,
                                const std::optional<nlohmann::json>& body) {
  const phone::CurlEasy handle(curl_easy_init());
  if (!handle) throw EWebDriverError("no curl handle");
  const std::string url = "http://127.0.0.1:" + std::to_string(port_) + path;
  const std::string text = body ? body->dump() : "";
  std::string answer;
  phone::CurlList headers(curl_slist_append(nullptr, "Content-Type: application/json; charset=utf-8"));
  curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle.get(), CURLOPT_CUSTOMREQUEST, method.c_str());
  curl_easy_setopt(handle.get(), CURLOPT_PROXY, "");
  curl_easy_setopt(handle.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle.get(), CURLOPT_TIMEOUT, 120L);
  curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, KeepAnswer);
  curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &answer);
  if (body) {
    curl_easy_setopt(handle.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle.get(), CURLOPT_POSTFIELDS, text.c_str());
  }
  const CURLcode result = curl_easy_perform(handle.get());
  if (result != CURLE_OK) throw EWebDriverError(method + " " + path + ": " + curl_easy_strerror(result));
  const nlohmann::json reply = nlohmann::json::parse(answer, nullptr, false);
  if (reply.is_discarded()) {
    if (path == "/shutdown") return nullptr;  // answers in plain text
    throw EWebDriverError(method + " " + path + ": no JSON answer: " + answer);
  }
  const nlohmann::json value = reply.value("value", nlohmann::json());
  if (value.is_object() && value.contains("error"))
    throw EWebDriverError(method + " " + path + ": " + value.value("message", value["error"].dump()));
  return value;
}

nlohmann::json WebBrowser::Command(const std::string& method, const std::string& path,
                                   const std::optional<nlohmann::json>& body) {
  return Call(method, "/session/" + session_ + path, body);
}

void WebBrowser::Open(const std::string& url) {
  Command("POST", "/url", nlohmann::json{{"url", url}});
}
std::string WebBrowser::Url() {
  return Command("GET", "/url").get<std::string>();
}
std::string WebBrowser::Title() {
  return Command("GET", "/title").get<std::string>();
}
std::string WebBrowser::Source() {
  return Command("GET", "/source").get<std::string>();
}
std::string WebBrowser::PageText() {
  return One("body").Text();
}

std::vector<WebElement> WebBrowser::All(const std::string& css_selector) {
  std::vector<WebElement> elements;
  const nlohmann::json found =
      Command("POST", "/elements", nlohmann::json{{"using", "css selector"}, {"value", css_selector}});
  for (const nlohmann::json& element : found)
    elements.emplace_back(*this, element[kElementKey].get<std::string>());
  return elements;
}

WebElement WebBrowser::FirstOf(const nlohmann::json& found, const std::string& what) {
  if (!found.is_object() || !found.contains(kElementKey)) throw EWebDriverError("no element " + what);
  return WebElement(*this, found[kElementKey].get<std::string>());
}

WebElement WebBrowser::One(const std::string& css_selector) {
  return FirstOf(
      Command("POST", "/element", nlohmann::json{{"using", "css selector"}, {"value", css_selector}}),
      css_selector);
}

WebElement WebBrowser::Link(const std::string& text) {
  return FirstOf(Command("POST", "/element", nlohmann::json{{"using", "link text"}, {"value", text}}),
                 "linked \"" + text + "\"");
}

void WebBrowser::Follow(const WebElement& element) {
  const std::string before = Url();
  element.Click();
  const uint32_t start = platform::GetTickCount();
  const auto loaded = [&] {
    return Url() != before && Command("POST", "/execute/sync",
                                      nlohmann::json{{"script", "return document.readyState"},
                                                     {"args", nlohmann::json::array()}}) == "complete";
  };
  while (!loaded()) {
    if (platform::GetTickCount() - start > kPatience) throw EWebDriverError("no page came after the click");
    platform::Sleep(20);
  }
}

std::string WebBrowser::Screenshot() {
  return Base64Decoded(Command("GET", "/screenshot").get<std::string>());
}

}  // namespace qv::testing
