// XML text: markup and quotes escaped, control characters visible, each byte that is not UTF-8
// one U+FFFD, cut by characters.
#include "text/xml_text.h"

#include <gtest/gtest.h>

#include <string>

namespace marlin::text {
namespace {

TEST(XmlText, EscapesHostileText) {
  struct Case {
    const char* what;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"markup", "</svg><script>alert(1)</script>",
       "&lt;/svg&gt;&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"quotes and ampersands", "a=\"1\" b='2' &amp;", "a=&quot;1&quot; b=&#39;2&#39; &amp;amp;"},
      {"CDATA end", "]]>", "]]&gt;"},
      {"control characters visible, line feed and tab kept", std::string("\x01\r\n\t\x7f", 5),
       "\\x01\\x0D\n\t\\x7F"},
      {"NUL", std::string("a\0b", 3), "a\\x00b"},
      {"valid UTF-8 unchanged", "\xC2\xB5s \xE2\x82\xAC \xF0\x9F\x98\x80",
       "\xC2\xB5s \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"stray bytes", "\xFF\xFEok", "\xEF\xBF\xBD\xEF\xBF\xBDok"},
      {"overlong form", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"cut sequence at the end", "x\xE2\x82", "x\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"not an XML character", "\xEF\xBF\xBE|\xEF\xBF\xBF", "\xEF\xBF\xBD|\xEF\xBF\xBD"},
      {"a valid character next to one", "\xEF\xBF\xBD\xEF\xBF\xBC", "\xEF\xBF\xBD\xEF\xBF\xBC"},
  };
  for (const Case& c : cases) EXPECT_EQ(XmlText(c.in), c.out) << c.what;
  EXPECT_EQ(XmlText("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC<", 2),
            "\xE2\x82\xAC\xE2\x82\xAC\xE2\x80\xA6")
      << "cut by characters, never inside one";
  EXPECT_EQ(XmlText("<<", 2), "&lt;&lt;") << "nothing cut at the limit";
}

}  // namespace
}  // namespace marlin::text
