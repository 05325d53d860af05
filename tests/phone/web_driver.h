// A real browser for the phone viewer's tests: Debian's chromium, headless, with a fresh profile,
// driven through the WebDriver protocol by chromedriver, which listens on a free port of 127.0.0.1
// only. The protocol's requests go out with libcurl, their answers are read with nlohmann's JSON. A
// call that fails raises EWebDriverError with the driver's message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/errors/exception.h"
#include "platform/process/process.h"

namespace qv::testing {

QV_EXCEPTION_CLASS(EWebDriverError, Exception);

class WebBrowser;

class WebElement {
 public:
  WebElement(WebBrowser& browser, std::string id) : browser_(&browser), id_(std::move(id)) {}

  // The text as the page shows it; a property such as "type" or "name".
  std::string Text() const;
  std::string Property(const std::string& name) const;
  // Types the text into a field; clicks.
  void Type(const std::string& text) const;
  void Click() const;

 private:
  WebBrowser* browser_;
  std::string id_;
};

class WebBrowser {
 public:
  // Starts chromedriver and the browser, its profile and the driver's log in work_directory.
  explicit WebBrowser(const std::string& work_directory);
  WebBrowser(const WebBrowser&) = delete;
  WebBrowser& operator=(const WebBrowser&) = delete;
  // Ends the browser and chromedriver.
  ~WebBrowser();

  void Open(const std::string& url);
  std::string Url();
  std::string Title();
  // The page as the browser holds it now, serialised.
  std::string Source();
  // The visible text of the whole page.
  std::string PageText();
  // The elements a CSS selector finds, in document order; One raises when none is found.
  std::vector<WebElement> All(const std::string& css_selector);
  WebElement One(const std::string& css_selector);
  // The link whose text is exactly this.
  WebElement Link(const std::string& text);
  // The window as a PNG picture.
  std::string Screenshot();
  // Clicks a link or button and waits until the page it leads to has loaded: a click returns before
  // a form's answer (here a redirect) has come.
  void Follow(const WebElement& element);

  // A command of the protocol in this browser's session; the "value" of its answer.
  nlohmann::json Command(const std::string& method, const std::string& path,
                         const std::optional<nlohmann::json>& body = std::nullopt);

 private:
  nlohmann::json Call(const std::string& method, const std::string& path,
                      const std::optional<nlohmann::json>& body);
  WebElement FirstOf(const nlohmann::json& found, const std::string& what);
  void EndDriver();

  uint16_t port_ = 0;
  platform::ChildProcess driver_;
  std::string session_;
};

}  // namespace qv::testing
