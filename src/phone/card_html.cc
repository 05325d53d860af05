#include "phone/card_html.h"

#include <algorithm>
#include <new>
#include <set>
#include <string_view>

#include "phone/html_text.h"
#include "phone/wml_deck.h"
#include "phone/wml_variables.h"

namespace qv::phone {

namespace {

bool IsElement(const xmlNode& node, std::string_view name) {
  return node.type == XML_ELEMENT_NODE && NodeName(node) == name;
}

bool HasInput(const xmlNode* node) {
  for (; node != nullptr; node = node->next) {
    if (IsElement(*node, "input") || HasInput(node->children)) return true;
  }
  return false;
}

bool IsTask(const xmlNode& node) {
  return IsElement(node, "go") || IsElement(node, "prev") || IsElement(node, "refresh") ||
         IsElement(node, "noop");
}

// The literal parts of a postfield's name or value URL-escaped; its references stay for the
// substitution.
std::string EscapedLiterals(std::string_view text) {
  std::string result;
  for (const VariablePiece& piece : SplitVariables(text)) {
    result += piece.kind == VariablePiece::Kind::kText ? UrlEscape(piece.source) : std::string(piece.source);
  }
  return result;
}

// The target of a go: its href, and for its postfields a query added as a phone adds it for a GET.
std::string GoTarget(const xmlNode& go) {
  std::string target = Attribute(go, "href");
  char separator = target.find('?') == std::string::npos ? '?' : '&';
  for (const xmlNode* child = go.children; child != nullptr; child = child->next) {
    if (!IsElement(*child, "postfield")) continue;
    target += separator;
    target += EscapedLiterals(Attribute(*child, "name")) + "=" + EscapedLiterals(Attribute(*child, "value"));
    separator = '&';
  }
  return target;
}

class CardRenderer {
 public:
  CardRenderer(const ServiceUrl& service, const Query& page_query)
      : service_(service), page_query_(page_query) {}

  CardHtml Render(const xmlNode& card) {
    form_ = HasInput(card.children);
    result_.title = Text(Attribute(card, "title"), "the card's title");
    std::string body;
    Children(card.children, body);
    result_.body =
        form_ ? "<form method=\"get\" action=\"" + std::string(kGoPath) + "\">" + body + "</form>" : body;
    return std::move(result_);
  }

 private:
  void Fault(const std::string& fault) {
    if (std::find(result_.faults.begin(), result_.faults.end(), fault) == result_.faults.end())
      result_.faults.push_back(fault);
  }

  // A text of the deck: variables as a phone with none set shows them, escaped.
  std::string Text(std::string_view text, std::string_view where) {
    std::string html;
    for (const VariablePiece& piece : SplitVariables(text)) {
      switch (piece.kind) {
        case VariablePiece::Kind::kText:
          html += HtmlEscape(piece.source);
          break;
        case VariablePiece::Kind::kStray:
          html += '$';
          Fault("A \"$\" in " + std::string(where) +
                " starts no variable reference: a gateway refuses such a deck.");
          break;
        case VariablePiece::Kind::kDollar:
          html += '$';
          break;
        case VariablePiece::Kind::kReference:
          Fault("\"" + std::string(piece.source) + "\" in " + std::string(where) +
                " is a variable: a phone shows its value there; the viewer, which keeps no variables, shows "
                "nothing.");
          break;
      }
    }
    return html;
  }

  void Children(const xmlNode* node, std::string& html) {
    for (; node != nullptr; node = node->next) Node(*node, html);
  }

  void Node(const xmlNode& node, std::string& html) {
    switch (node.type) {
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
        html += Text(node.content != nullptr ? reinterpret_cast<const char*>(node.content) : "",
                     "the card's text");
        return;
      case XML_ENTITY_REF_NODE:
        html += EntityText(NodeName(node));
        return;
      case XML_ELEMENT_NODE:
        Element(node, html);
        return;
      default:
        return;  // comments and processing instructions show nothing
    }
  }

  static std::string EntityText(std::string_view name) {
    if (name == "nbsp") return "\xC2\xA0";
    if (name == "shy") return "\xC2\xAD";
    return HtmlEscape("&" + std::string(name) + ";");
  }

  void Element(const xmlNode& node, std::string& html) {
    const std::string_view name = NodeName(node);
    static const std::set<std::string_view> kSameInHtml = {"b",   "i",     "u",     "em", "strong",
                                                           "big", "small", "table", "tr", "td"};
    if (kSameInHtml.count(name) != 0) {
      html += "<" + std::string(name) + ">";
      Children(node.children, html);
      html += "</" + std::string(name) + ">";
    } else if (name == "p") {
      html += "<p class=\"" + ParagraphClass(node) + "\">";
      Children(node.children, html);
      html += "</p>";
    } else if (name == "fieldset") {
      html += "<div class=\"fieldset\">";
      Children(node.children, html);
      html += "</div>";
    } else if (name == "br") {
      html += "<br>";
    } else if (name == "img") {
      html += "<span class=\"img\">[" + Text(Attribute(node, "alt"), "an image's text") + "]</span>";
    } else if (name == "input") {
      Input(node, html);
    } else if (name == "a") {
      std::string label;
      Children(node.children, label);
      Link(Attribute(node, "href"), label, html);
    } else if (name == "anchor") {
      Anchor(node, html);
    } else if (name == "do") {
      Do(node, html);
    } else {
      if (IsWml11Element(name))
        Fault("The viewer does not draw <" + std::string(name) + ">; it shows its markup.");
      html += "<code class=\"markup\">" + HtmlEscape(Markup(node)) + "</code>";
    }
  }

  static std::string ParagraphClass(const xmlNode& p) {
    std::string classes = "wml-p";
    const std::string align = Attribute(p, "align");
    if (align == "center" || align == "right") classes += " " + align;
    return classes;
  }

  void Input(const xmlNode& node, std::string& html) {
    const std::string type = Attribute(node, "type") == "password" ? "password" : "text";
    html += "<input type=\"" + type + "\" name=\"" + HtmlEscape(Attribute(node, "name")) + "\" value=\"" +
            HtmlEscape(SubstituteVariables(Attribute(node, "value"), {}, VariableContext::kText)) + "\"";
    const std::string max_length = Attribute(node, "maxlength");
    if (!max_length.empty() && max_length.find_first_not_of("0123456789") == std::string::npos)
      html += " maxlength=\"" + max_length + "\"";
    html += ">";
  }

  // The label of an anchor is its content but its task.
  void Anchor(const xmlNode& node, std::string& html) {
    std::string label;
    const xmlNode* task = nullptr;
    for (const xmlNode* child = node.children; child != nullptr; child = child->next) {
      if (IsTask(*child)) {
        task = child;
      } else {
        Node(*child, label);
      }
    }
    Task(task, label, html);
  }

  // A soft key, drawn as a link under its label.
  void Do(const xmlNode& node, std::string& html) {
    std::string label = Attribute(node, "label");
    if (label.empty()) label = Attribute(node, "type");
    const xmlNode* task = nullptr;
    for (const xmlNode* child = node.children; child != nullptr; child = child->next) {
      if (IsTask(*child)) task = child;
    }
    std::string drawn;
    Task(task, Text(label, "a soft key's label"), drawn);
    html += "<span class=\"softkey\">" + drawn + "</span>";
  }

  void Task(const xmlNode* task, const std::string& label, std::string& html) {
    if (task == nullptr || !IsElement(*task, "go")) {
      html += "<span class=\"inert\">" + label + "</span>";
      return;
    }
    if (Attribute(*task, "method") == "post")
      Fault(
          "A link is sent with method post; the viewer sends it as a GET, the only request the service "
          "takes.");
    Link(GoTarget(*task), label, html);
  }

  void Link(const std::string& href, const std::string& label, std::string& html) {
    bool refers_to_variables = false;
    for (const VariablePiece& piece : SplitVariables(href)) {
      if (piece.kind == VariablePiece::Kind::kReference) refers_to_variables = true;
      if (piece.kind == VariablePiece::Kind::kStray)
        Fault("A \"$\" in a link's target starts no variable reference: a gateway refuses such a deck.");
    }
    if (refers_to_variables && form_) {
      html += "<button type=\"submit\" class=\"link\" name=\"" + std::string(kGoField) + "\" value=\"" +
              HtmlEscape(href) + "\">" + label + "</button>";
      return;
    }
    const LinkTarget target =
        service_.Resolve(page_query_, SubstituteVariables(href, {}, VariableContext::kUrl));
    if (!target.inside) {
      Fault("A link leads outside the service, to \"" + target.url + "\"; the viewer does not follow it.");
      html += "<span class=\"outside\">" + label + "</span>";
      return;
    }
    html += "<a href=\"" + HtmlEscape(ViewerAddress(target.query)) + "\">" + label + "</a>";
  }

  static std::string Markup(const xmlNode& node) {
    const XmlBuffer buffer(xmlBufferCreate());
    if (!buffer) throw std::bad_alloc();
    xmlNodeDump(buffer.get(), node.doc, const_cast<xmlNode*>(&node), 0, 0);
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                       static_cast<size_t>(xmlBufferLength(buffer.get())));
  }

  const ServiceUrl& service_;
  const Query& page_query_;
  bool form_ = false;
  CardHtml result_;
};

}  // namespace

CardHtml RenderCard(const xmlNode& card, const ServiceUrl& service, const Query& page_query) {
  return CardRenderer(service, page_query).Render(card);
}

}  // namespace qv::phone
