//===- foundation/XmlListener.h - Receiver of XmlParser events --*- C++ -*-===//
///
/// XmlParser reports what it reads in document order to one listener. Every
/// text is zero-terminated and valid only during the call: copy what must
/// outlive it.
///
//===----------------------------------------------------------------------===//
#pragma once

namespace korvex {

class XmlListener {
 public:
  virtual ~XmlListener() = default;

  /// An element begins; `name` is the qualified name ("prefix:local").
  virtual void OnStartElement(const char* name) = 0;
  /// One attribute of the element just started, its value entity-decoded.
  virtual void OnAttribute(const char* name, const char* value) = 0;
  /// Non-blank text between tags, entity-decoded and trimmed.
  virtual void OnText(const char* text) = 0;
  /// The text between "<!--" and "-->". Comments before the root element
  /// are reported too, while no element is open.
  virtual void OnComment(const char* text) = 0;
  /// The element named `name` ends (also for an empty element "<a/>").
  virtual void OnEndElement(const char* name) = 0;
};

}  // namespace korvex
