// capsel_xml_floor: the least a converter of one document must do, on libxml2 set up as capsel
// sets it up, and nothing else. It is the floor that capsel's own reader is measured against.
//   capsel_xml_floor IN.xml OUT.srt DONE.xml
// Reads IN in 64 kB pieces through libxml2's push parser (SAX2, namespaces, no entity loading,
// no network), takes each `p` of the TTML namespace with its `begin` and `end` and its text (a
// `br` breaks the line), writes that as SRT text to a temporary file renamed to OUT, and
// renames IN to DONE.

#include <fcntl.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr char kTtml[] = "http://www.w3.org/ns/ttml";

struct Floor {
  int out = -1;
  bool in_p = false;
  long long cues = 0;
  std::string begin, end, text, srt;
};

Floor* Of(void* ctx) { return static_cast<Floor*>(static_cast<xmlParserCtxtPtr>(ctx)->_private); }
bool Ttml(const xmlChar* uri) {
  return uri != nullptr && std::strcmp(reinterpret_cast<const char*>(uri), kTtml) == 0;
}
bool Is(const xmlChar* name, const char* local) {
  return std::strcmp(reinterpret_cast<const char*>(name), local) == 0;
}

void OnStart(void* ctx, const xmlChar* name, const xmlChar*, const xmlChar* uri, int,
             const xmlChar**, int count, int, const xmlChar** attributes) {
  Floor* f = Of(ctx);
  if (!Ttml(uri)) return;
  if (Is(name, "p")) {
    f->in_p = true;
    f->begin.clear();
    f->end.clear();
    f->text.clear();
    for (int i = 0; i < count; ++i) {
      const xmlChar** a = attributes + 5 * i;
      std::string* slot = Is(a[0], "begin") ? &f->begin : Is(a[0], "end") ? &f->end : nullptr;
      if (slot != nullptr && a[2] == nullptr)
        slot->assign(reinterpret_cast<const char*>(a[3]), a[4] - a[3]);
    }
  } else if (f->in_p && Is(name, "br")) {
    f->text += "\r\n";
  }
}

void OnEnd(void* ctx, const xmlChar* name, const xmlChar*, const xmlChar* uri) {
  Floor* f = Of(ctx);
  if (!Ttml(uri) || !Is(name, "p")) return;
  f->in_p = false;
  for (std::string* t : {&f->begin, &f->end})
    for (char& c : *t)
      if (c == '.') c = ',';
  f->srt += std::to_string(++f->cues);
  f->srt += "\r\n" + f->begin + " --> " + f->end + "\r\n";
  f->srt += f->text;
  f->srt += "\r\n\r\n";
  if (f->srt.size() >= (1 << 16)) {
    if (::write(f->out, f->srt.data(), f->srt.size()) < 0) std::perror("write");
    f->srt.clear();
  }
}

void OnText(void* ctx, const xmlChar* text, int length) {
  Floor* f = Of(ctx);
  if (f->in_p) f->text.append(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
}

xmlParserInputPtr NoEntities(const char*, const char*, xmlParserCtxtPtr) { return nullptr; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s IN.xml OUT.srt DONE.xml\n", argv[0]);
    return 64;
  }
  xmlInitParser();
  xmlSetExternalEntityLoader(NoEntities);
  int in = ::open(argv[1], O_RDONLY);
  std::string temp = std::string(argv[2]) + ".part";
  Floor f;
  f.out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || f.out < 0) {
    std::perror("open");
    return 1;
  }
  xmlSAXHandler handler;
  std::memset(&handler, 0, sizeof handler);
  xmlSAXVersion(&handler, 2);
  handler.startElementNs = OnStart;
  handler.endElementNs = OnEnd;
  handler.characters = OnText;
  handler.cdataBlock = OnText;
  handler.serror = nullptr;
  handler.error = nullptr;
  handler.warning = nullptr;
  static char buffer[1 << 16];
  ssize_t n = ::read(in, buffer, 4);
  xmlParserCtxtPtr ctxt =
      xmlCreatePushParserCtxt(&handler, nullptr, buffer, n > 0 ? static_cast<int>(n) : 0, nullptr);
  ctxt->_private = &f;
  xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  while ((n = ::read(in, buffer, sizeof buffer)) > 0)
    xmlParseChunk(ctxt, buffer, static_cast<int>(n), 0);
  xmlParseChunk(ctxt, nullptr, 0, 1);
  const bool ok = ctxt->wellFormed;
  if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
  xmlFreeParserCtxt(ctxt);
  if (::write(f.out, f.srt.data(), f.srt.size()) < 0 || ::close(f.out) != 0 || ::close(in) != 0 ||
      std::rename(temp.c_str(), argv[2]) != 0 || std::rename(argv[1], argv[3]) != 0) {
    std::perror("capsel_xml_floor");
    return 1;
  }
  std::printf("%lld cues%s\n", f.cues, ok ? "" : ", not well-formed");
  return ok ? 0 : 2;
}
