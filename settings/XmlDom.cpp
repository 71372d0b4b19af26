#include "settings/XmlDom.h"
#include "texts/Texts.h"

#include "settings/XmlDomNodes.h"

#include "engine/Exceptions.h"
#include "platform/ComValues.h"

namespace {

// mingw-w64 declares these without defining them. The free-threaded documents:
// the settings are read on a thread of their own and then used on the window's.
constexpr CLSID ClsidFreeThreadedDomDocument60 = {
    0x88d96a06, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr CLSID ClsidFreeThreadedDomDocument30 = {
    0xf5078f33, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr IID IidXmlDomDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

// The refChild argument of insertBefore: a node, or null for "at the end".
TVariant Reference(IUnknown* node) {
    if (node) return TVariant::FromUnknown(node);
    TVariant none;
    none.Receive()->vt = VT_NULL;
    return none;
}

TDomNode AsNode(const TDomElement& element) { return element.As<IXMLDOMNode>(IID_IXMLDOMNode); }

TDomDocument OwnerDocument(const TDomElement& element) {
    TDomDocument document;
    CheckDom(element->get_ownerDocument(document.Receive()), L"ownerDocument");
    return document;
}

std::wstring ParseErrorText(const TDomDocument& document) {
    TComPtr<IXMLDOMParseError> error;
    if (FAILED(document->get_parseError(error.Receive())) || !error) return LoadText(TTextId::ErrorXmlFormat);
    TBStr reason;
    LONG line = 0, position = 0, code = 0;
    error->get_reason(reason.Receive());
    error->get_line(&line);
    error->get_linepos(&position);
    error->get_errorCode(&code);
    std::wstring text = reason.Str();
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    if (text.empty()) text = FormatText(TTextId::ErrorXmlFormatCode, DomHexCode(code));
    if (line > 0) text += FormatText(TTextId::ErrorXmlPosition, line, position);
    return text;
}

// MSXML 6 refuses a document type while parsing (ProhibitDTD). MSXML 3 without that
// property, and Wine's MSXML, which ignores it, read one; Wine then fails on the
// document-type node whenever the document is written. So a document type is
// refused here too, the same under every parser.
void RefuseDocumentType(const TDomDocument& document) {
    TComPtr<IXMLDOMDocumentType> type;
    const HRESULT hr = document->get_doctype(type.Receive());
    if (FAILED(hr) || type) throw EXmlError(LoadText(TTextId::ErrorXmlDoctype));
}

}  // namespace

TDomDocument CreateDomDocument() {
    TDomDocument document;
    HRESULT hr = ::CoCreateInstance(ClsidFreeThreadedDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                    document.ReceiveVoid());
    if (FAILED(hr))
        hr = ::CoCreateInstance(ClsidFreeThreadedDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                document.ReceiveVoid());
    if (FAILED(hr)) throw EXmlError(FormatText(TTextId::ErrorXmlCreate, DomHexCode(hr)));
    CheckDom(document->put_async(VARIANT_FALSE), L"async");
    CheckDom(document->put_validateOnParse(VARIANT_FALSE), L"validateOnParse");
    CheckDom(document->put_resolveExternals(VARIANT_FALSE), L"resolveExternals");
    CheckDom(document->put_preserveWhiteSpace(VARIANT_FALSE), L"preserveWhiteSpace");
    // MSXML 6 refuses DTDs by default and MSXML 3 does not; both refuse them here,
    // so a file reads the same whichever is installed and cannot expand entities.
    if (auto document2 = document.As<IXMLDOMDocument2>(IidXmlDomDocument2))
        document2->setProperty(TBStr(L"ProhibitDTD").Get(), TVariant::FromBool(true).Get());
    return document;
}

void LoadDomFromBytes(const TDomDocument& document, const std::string& bytes) {
    // Handed over as an array of bytes, which the parser reads with the same
    // encoding detection as a stream. Wine's MSXML takes five to ten times as long
    // over a stream of the same bytes (7 MB: over a second, against 0.1-0.3 s).
    const TVariant source = TVariant::FromBytes(bytes.data(), bytes.size());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT hr = document->load(source.Get(), &loaded);
    if (FAILED(hr) || loaded != VARIANT_TRUE) throw EXmlError(ParseErrorText(document));
    RefuseDocumentType(document);
}

void AddXmlDeclaration(const TDomDocument& document) {
    TComPtr<IXMLDOMProcessingInstruction> declaration;
    CheckDom(document->createProcessingInstruction(TBStr(L"xml").Get(), TBStr(L"version=\"1.0\"").Get(),
                                                declaration.Receive()),
          L"createProcessingInstruction");
    TDomNode first;
    CheckDom(document->get_firstChild(first.Receive()), L"firstChild");
    TVariant reference = Reference(first.Get());
    TDomNode inserted;
    CheckDom(document->insertBefore(declaration.Get(), reference.Get(), inserted.Receive()), L"insertBefore");
}

TDomElement DocumentElement(const TDomDocument& document) {
    TDomElement root;
    CheckDom(document->get_documentElement(root.Receive()), L"documentElement");
    return root;
}

TDomElement CreateDocumentElement(const TDomDocument& document, const std::wstring& name) {
    TDomElement root;
    CheckDom(document->createElement(TBStr(name).Get(), root.Receive()), L"createElement");
    CheckDom(document->putref_documentElement(root.Get()), L"documentElement");
    return root;
}

std::wstring ElementName(const TDomElement& element) { return NodeName(AsNode(element)); }

std::vector<TDomElement> ChildElements(const TDomElement& parent, const std::wstring& name) {
    std::vector<TDomElement> elements;
    for (const TDomNode& child : ChildNodes(AsNode(parent)))
        if (NodeType(child) == NODE_ELEMENT && NodeName(child) == name)
            elements.push_back(child.As<IXMLDOMElement>(IID_IXMLDOMElement));
    return elements;
}

TDomElement FindChildElement(const TDomElement& parent, const std::wstring& name) {
    TDomNode child;
    CheckDom(parent->get_firstChild(child.Receive()), L"firstChild");
    while (child) {
        if (NodeType(child) == NODE_ELEMENT && NodeName(child) == name)
            return child.As<IXMLDOMElement>(IID_IXMLDOMElement);
        TDomNode next;
        CheckDom(child->get_nextSibling(next.Receive()), L"nextSibling");
        child = std::move(next);
    }
    return TDomElement();
}

TDomElement InsertChildElement(const TDomElement& parent, const std::wstring& name, const TDomElement& before) {
    TDomElement element;
    CheckDom(OwnerDocument(parent)->createElement(TBStr(name).Get(), element.Receive()), L"createElement");
    TVariant reference = Reference(before.Get());
    TDomNode inserted;
    CheckDom(parent->insertBefore(element.Get(), reference.Get(), inserted.Receive()), L"insertBefore");
    return element;
}

void RemoveChild(const TDomElement& parent, const TDomElement& child) {
    TDomNode removed;
    CheckDom(parent->removeChild(child.Get(), removed.Receive()), L"removeChild");
}

std::wstring GetAttributeText(const TDomElement& element, const std::wstring& name) {
    TVariant value;
    CheckDom(element->getAttribute(TBStr(name).Get(), value.Receive()), L"getAttribute");
    return value.Str();
}

void SetAttributeText(const TDomElement& element, const std::wstring& name, const std::wstring& value) {
    CheckDom(element->setAttribute(TBStr(name).Get(), TVariant::FromString(value).Get()), L"setAttribute");
}

void RemoveAttribute(const TDomElement& element, const std::wstring& name) {
    CheckDom(element->removeAttribute(TBStr(name).Get()), L"removeAttribute");
}

// --- Node helpers shared with the writer ---

std::wstring DomHexCode(HRESULT hr) {
    wchar_t text[16];
    ::wsprintfW(text, L"0x%08X", static_cast<unsigned>(hr));
    return text;
}

void CheckDom(HRESULT hr, const wchar_t* operation) {
    if (FAILED(hr))
        throw EXmlError(FormatText(TTextId::ErrorXmlOperation, operation, DomHexCode(hr)));
}

DOMNodeType NodeType(const TDomNode& node) {
    DOMNodeType type = NODE_INVALID;
    CheckDom(node->get_nodeType(&type), L"nodeType");
    return type;
}

std::wstring NodeName(const TDomNode& node) {
    TBStr name;
    CheckDom(node->get_nodeName(name.Receive()), L"nodeName");
    return name.Str();
}

std::wstring NodeValue(const TDomNode& node) {
    TVariant value;
    CheckDom(node->get_nodeValue(value.Receive()), L"nodeValue");
    return value.Str();
}

std::vector<TDomNode> ChildNodes(const TDomNode& node) {
    std::vector<TDomNode> children;
    TDomNode child;
    CheckDom(node->get_firstChild(child.Receive()), L"firstChild");
    while (child) {
        TDomNode next;
        CheckDom(child->get_nextSibling(next.Receive()), L"nextSibling");
        children.push_back(std::move(child));
        child = std::move(next);
    }
    return children;
}
