#include "tests/app/xml_check.h"

#include <expat.h>

namespace marlin::testing {
namespace {

struct State {
  XmlDocument* doc;
  std::vector<std::size_t> open;
};

void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto* s = static_cast<State*>(data);
  XmlElement element;
  element.name = name;
  element.depth = static_cast<int>(s->open.size());
  for (std::size_t i = 0; attributes[i]; i += 2)
    element.attributes[attributes[i]] = attributes[i + 1];
  s->doc->elements.push_back(std::move(element));
  s->open.push_back(s->doc->elements.size() - 1);
}

void OnEnd(void* data, const XML_Char*) { static_cast<State*>(data)->open.pop_back(); }

void OnText(void* data, const XML_Char* text, int length) {
  auto* s = static_cast<State*>(data);
  if (!s->open.empty())
    s->doc->elements[s->open.back()].text.append(text, static_cast<std::size_t>(length));
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

std::vector<std::string> XmlDocument::TextsOf(const std::string& name) const {
  std::vector<std::string> texts;
  for (const XmlElement& e : elements) {
    if (e.name == name) texts.push_back(e.text);
  }
  return texts;
}

std::vector<std::string> XmlDocument::ExternalReferences() const {
  std::vector<std::string> found;
  for (const XmlElement& e : elements) {
    for (const auto& [key, value] : e.attributes) {
      if (key == "href" || key == "src" || key == "xlink:href" || key == "action") {
        found.push_back(e.name + " " + key + "=" + value);
      } else if (Contains(value, "http") &&
                 !(key == "xmlns" && value == "http://www.w3.org/2000/svg")) {
        found.push_back(e.name + " " + key + "=" + value);
      } else if (Contains(value, "url(")) {
        found.push_back(e.name + " " + key + "=" + value);
      }
    }
    if (e.name == "style" && (Contains(e.text, "url(") || Contains(e.text, "@import"))) {
      found.push_back("style: " + e.text);
    }
    if (e.name == "script" || e.name == "link" || e.name == "img" || e.name == "iframe" ||
        e.name == "image" || e.name == "use") {
      found.push_back("element " + e.name);
    }
  }
  return found;
}

XmlDocument ParseXml(const std::string& text) {
  XmlDocument doc;
  State state{&doc, {}};
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(parser, OnStart, OnEnd);
  XML_SetCharacterDataHandler(parser, OnText);
  doc.wellFormed =
      XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE) == XML_STATUS_OK;
  if (!doc.wellFormed) {
    doc.error = std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
                std::to_string(XML_GetCurrentLineNumber(parser));
  }
  XML_ParserFree(parser);
  return doc;
}

}  // namespace marlin::testing
