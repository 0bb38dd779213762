#include "helper/xml_guard.h"

#include <expat.h>

#include <climits>

namespace {

constexpr std::size_t kLibraryRead = 1024;  // bytes the XML library hands the parser per call
constexpr std::size_t kListStep = 8;        // a step along a linked list costs about 8 bytes' copy

struct Scan {
  XML_Parser parser;
  const XmlLimits& limits;
  std::size_t depth = 0;
  std::size_t nodes = 0;
  std::size_t run = 0;  // length of the text run being assembled
  std::size_t work = 0;
  bool over = false;
};

void stop(Scan& s) {
  if (!s.over) XML_StopParser(s.parser, XML_FALSE);
  s.over = true;
}

void add_work(Scan& s, std::size_t n) {
  s.work += n;
  if (s.work > s.limits.max_work) stop(s);
}

void add_nodes(Scan& s, std::size_t n) {
  s.nodes += n;
  if (s.nodes > s.limits.max_nodes) stop(s);
}

// A token that spans k reads is scanned from its start k times.
void token(Scan& s) {
  const auto len = static_cast<std::size_t>(XML_GetCurrentByteCount(s.parser));
  add_work(s, len / kLibraryRead * len);
}

void XMLCALL on_start(void* user, const XML_Char*, const XML_Char** atts) {
  Scan& s = *static_cast<Scan*>(user);
  if (s.over) return;
  std::size_t attrs = 0;
  while (atts[2 * attrs]) ++attrs;
  s.run = 0;
  if (++s.depth > s.limits.max_depth) return stop(s);
  token(s);
  add_work(s, attrs * attrs / 2 * kListStep);
  add_nodes(s, 1 + attrs);
}

void XMLCALL on_end(void* user, const XML_Char*) {
  Scan& s = *static_cast<Scan*>(user);
  if (s.over) return;
  if (s.depth > 0) --s.depth;
  s.run = 0;
  token(s);
}

void XMLCALL on_text(void* user, const XML_Char*, int len) {
  Scan& s = *static_cast<Scan*>(user);
  if (s.over) return;
  if (s.run == 0) add_nodes(s, 1);
  s.run += static_cast<std::size_t>(len);
  // The library's reads split this piece further at every read boundary inside it, and
  // each part copies the whole run again.
  const auto first = static_cast<std::size_t>(XML_GetCurrentByteIndex(s.parser));
  const auto count = static_cast<std::size_t>(XML_GetCurrentByteCount(s.parser));
  const std::size_t splits = count > 0 ? (first + count - 1) / kLibraryRead - first / kLibraryRead : 0;
  add_work(s, s.run * (1 + splits));
}

void XMLCALL on_comment(void* user, const XML_Char*) {
  Scan& s = *static_cast<Scan*>(user);
  if (s.over) return;
  s.run = 0;
  token(s);
  add_nodes(s, 1);
}

void XMLCALL on_pi(void* user, const XML_Char*, const XML_Char*) { on_comment(user, nullptr); }

// A CDATA section is a node of its own, but its text may join the run around it; counting it
// without ending the run overestimates, which is the safe side.
void XMLCALL on_cdata(void* user) {
  Scan& s = *static_cast<Scan*>(user);
  if (!s.over) add_nodes(s, 1);
}

// Everything else: the XML declaration, the document type and its declarations, references
// to internal entities. The library installs a default handler too, which keeps those
// references unexpanded; doing the same keeps both parses in step.
void XMLCALL on_default(void* user, const XML_Char*, int) {
  Scan& s = *static_cast<Scan*>(user);
  if (!s.over) token(s);
}

// The library accepts single-byte encodings it knows. Mapping every byte to itself gives
// the same markup structure for all of them, so the counts stay valid.
int XMLCALL on_unknown_encoding(void*, const XML_Char*, XML_Encoding* info) {
  for (int i = 0; i < 256; ++i) info->map[i] = i;
  info->data = nullptr;
  info->convert = nullptr;
  info->release = nullptr;
  return XML_STATUS_OK;
}

}  // namespace

XmlCheck check_xml(const char* data, std::size_t len, const XmlLimits& limits) {
  if (len > static_cast<std::size_t>(INT_MAX)) return XmlCheck::TooBig;
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (!parser) return XmlCheck::TooBig;
  Scan scan{parser, limits};
  XML_SetUserData(parser, &scan);
  XML_SetElementHandler(parser, on_start, on_end);
  XML_SetCharacterDataHandler(parser, on_text);
  XML_SetCommentHandler(parser, on_comment);
  XML_SetProcessingInstructionHandler(parser, on_pi);
  XML_SetStartCdataSectionHandler(parser, on_cdata);
  XML_SetDefaultHandler(parser, on_default);
  XML_SetUnknownEncodingHandler(parser, on_unknown_encoding, nullptr);

  // One call over the whole text keeps this pass linear; the library's reads are modelled.
  const bool ok = XML_Parse(parser, data, static_cast<int>(len), XML_TRUE) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (scan.over) return XmlCheck::TooBig;
  return ok ? XmlCheck::Fits : XmlCheck::Malformed;
}
