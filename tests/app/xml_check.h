#pragma once
// A document read by a real XML parser (expat), for tests of generated SVG and XHTML: whether it
// is well-formed, and its elements with their attributes and text.
#include <map>
#include <string>
#include <vector>

namespace marlin::testing {

struct XmlElement {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;  // character data directly inside it
  int depth = 0;
};

struct XmlDocument {
  bool wellFormed = false;
  std::string error;                 // with its line when not well-formed
  std::vector<XmlElement> elements;  // in document order

  std::vector<std::string> TextsOf(const std::string& name) const;
  // References that would make a page fetch something: href, src, url(...), @import, and any
  // http(s) address other than the SVG namespace.
  std::vector<std::string> ExternalReferences() const;
};

XmlDocument ParseXml(const std::string& text);

}  // namespace marlin::testing
