#pragma once

// Documents shared by the conversion tests, with the SRT text a person checked for them.

namespace capsel::testdoc {

// Two paragraphs: Hello and World in two spans, then Bye.
inline constexpr char kHelloWorld[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<tt:tt xmlns:tt=\"http://www.w3.org/ns/ttml\"><tt:body><tt:div>\n"
    "<tt:p begin=\"00:00:01.000\" end=\"00:00:02.500\"><tt:span>Hello</tt:span><tt:span>World</tt:span></tt:p>\n"
    "<tt:p begin=\"00:00:03.000\" end=\"00:00:04.000\"><tt:span>Bye</tt:span></tt:p>\n"
    "</tt:div></tt:body></tt:tt>\n";

inline constexpr char kHelloWorldSrt[] =
    "1\r\n00:00:01,000 --> 00:00:02,500\r\nHello\r\nWorld\r\n\r\n"
    "2\r\n00:00:03,000 --> 00:00:04,000\r\nBye\r\n\r\n";

}  // namespace capsel::testdoc
