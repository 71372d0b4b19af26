// Node-level helpers shared by the DOM layer's reading and writing halves.
#pragma once

#include "settings/XmlDom.h"

#include <string>
#include <vector>

using TDomNode = TComPtr<IXMLDOMNode>;

// Raises EXmlError naming Operation when HR is a failure.
void CheckDom(HRESULT hr, const wchar_t* operation);
std::wstring DomHexCode(HRESULT hr);

DOMNodeType NodeType(const TDomNode& node);
std::wstring NodeName(const TDomNode& node);
// An attribute's or a text's content, a comment's text, a processing instruction's data.
std::wstring NodeValue(const TDomNode& node);
// The children of Node, in document order.
std::vector<TDomNode> ChildNodes(const TDomNode& node);
