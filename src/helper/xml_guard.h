// A first pass over an XML text before the XML library builds its document tree from it.
//
// The library feeds the parser 1024 bytes at a time and builds the tree naively: every piece
// of a text run (a line, an entity reference, a read) is appended by copying the whole run,
// every attribute by walking the element's attribute list, and a token longer than one read
// (a start tag, a comment) is scanned again from its start after every read. Each of these
// costs time quadratic in the size of the run, element or token, so a few megabytes can keep
// the agent busy for minutes; nested elements are also freed recursively, so deep nesting
// overflows the stack. A configuration file is small and flat: this pass estimates that work
// from one linear parse and refuses documents far beyond any real file.
#pragma once

#include <cstddef>

struct XmlLimits {
  std::size_t max_depth = 64;         // element nesting
  std::size_t max_nodes = 500000;     // elements, attributes, text runs, comments, ...
  std::size_t max_work = 256u << 20;  // bytes the builder would copy or scan again
};

enum class XmlCheck { Fits, Malformed, TooBig };

// Parses the text once with the parser and settings the XML library uses.
XmlCheck check_xml(const char* data, std::size_t len, const XmlLimits& limits = XmlLimits());
