// A thin layer over the MSXML document object model: creating, parsing and
// serialising a document, and the few element operations the settings need.
// Every failure of the DOM is raised as EXmlError.
#pragma once

#include "platform/ComPtr.h"

#include <msxml2.h>

#include <string>
#include <vector>

using TDomDocument = TComPtr<IXMLDOMDocument>;
using TDomElement = TComPtr<IXMLDOMElement>;

// A new, empty document from MSXML 6, or MSXML 3 where 6 is not installed.
// Parsing is synchronous, without DTDs or external resources. The document is
// the free-threaded one: made on one thread, it may be used on another (one at
// a time; nothing here uses a document from two threads at once).
TDomDocument CreateDomDocument();

// Parses the bytes of an XML file (any encoding the parser detects). Raises
// EXmlError with the parser's reason and position when they are not well-formed,
// and when they declare a document type (<!DOCTYPE>), whichever parser read them.
void LoadDomFromBytes(const TDomDocument& document, const std::string& bytes);

// The document as UTF-8 text for a file: the declaration <?xml version="1.0"?>
// (whatever declaration the document holds), then its elements, comments and
// processing instructions, child elements indented by two blanks, CR LF line ends.
std::string SerializeDomToUtf8(const TDomDocument& document);

// Text as an XML 1.0 file can hold it: every character XML forbids (U+0000 to
// U+001F but tab, line feed and carriage return; U+FFFE, U+FFFF; a surrogate
// without its partner) becomes U+FFFD, the replacement character. No character
// reference can stand for those either, so they cannot be escaped. The writer
// puts every text through it; names kept as keys are matched the same way.
std::wstring XmlSafeText(const std::wstring& text);

// Adds the declaration <?xml version="1.0"?> as the document's first node.
void AddXmlDeclaration(const TDomDocument& document);

// The document element, or empty when the document has none.
TDomElement DocumentElement(const TDomDocument& document);
// Creates an element Name and makes it the document element.
TDomElement CreateDocumentElement(const TDomDocument& document, const std::wstring& name);

// The element's tag name, exactly as written.
std::wstring ElementName(const TDomElement& element);
// The child elements named Name (case-sensitive), in document order.
std::vector<TDomElement> ChildElements(const TDomElement& parent, const std::wstring& name);
// The first child element named Name, or empty.
TDomElement FindChildElement(const TDomElement& parent, const std::wstring& name);
// A new element Name, inserted before Before (appended when Before is empty).
TDomElement InsertChildElement(const TDomElement& parent, const std::wstring& name, const TDomElement& before);
void RemoveChild(const TDomElement& parent, const TDomElement& child);

// An attribute's text; an absent attribute reads as the empty text.
std::wstring GetAttributeText(const TDomElement& element, const std::wstring& name);
void SetAttributeText(const TDomElement& element, const std::wstring& name, const std::wstring& value);
// Removes attribute Name; nothing happens when there is none.
void RemoveAttribute(const TDomElement& element, const std::wstring& name);
