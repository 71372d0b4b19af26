// Writing a document. The program serialises the DOM itself, so the file's
// layout and encoding are the same whichever MSXML is installed (some escape
// every non-ASCII character as a reference, which would make the Chinese names
// unreadable in an editor).
#include "settings/XmlDomNodes.h"

#include "settings/XmlDom.h"

#include "platform/ComValues.h"
#include "platform/Utf8.h"

namespace {

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::wstring XmlSafeText(const std::wstring& text) {
    std::wstring safe = text;
    for (size_t i = 0; i < safe.size(); ++i) {
        const wchar_t c = safe[i];
        if (IsHighSurrogate(c) && i + 1 < safe.size() && IsLowSurrogate(safe[i + 1])) {
            ++i;  // a pair stands for one character beyond U+FFFF, which XML allows
            continue;
        }
        const bool forbidden = (c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || c == 0xFFFE || c == 0xFFFF ||
                               IsHighSurrogate(c) || IsLowSurrogate(c);
        if (forbidden) safe[i] = 0xFFFD;
    }
    return safe;
}

namespace {

// Escapes what cannot stand as itself; tabs and line breaks in attribute values
// too, since a parser would turn them into blanks. What XML forbids outright
// is replaced first.
void AppendEscaped(std::wstring& out, const std::wstring& raw, bool inAttribute) {
    const std::wstring text = XmlSafeText(raw);
    for (const wchar_t c : text) {
        switch (c) {
            case L'&': out += L"&amp;"; break;
            case L'<': out += L"&lt;"; break;
            case L'>': out += L"&gt;"; break;
            case L'"': out += inAttribute ? L"&quot;" : L"\""; break;
            case L'\r': out += L"&#13;"; break;
            case L'\n': out += inAttribute ? L"&#10;" : L"\n"; break;
            case L'\t': out += inAttribute ? L"&#9;" : L"\t"; break;
            default: out += c;
        }
    }
}

void AppendAttributes(std::wstring& out, const TDomNode& element) {
    TComPtr<IXMLDOMNamedNodeMap> attributes;
    CheckDom(element->get_attributes(attributes.Receive()), L"attributes");
    LONG count = 0;
    if (attributes) CheckDom(attributes->get_length(&count), L"attributes");
    for (LONG i = 0; i < count; ++i) {
        TDomNode attribute;
        CheckDom(attributes->get_item(i, attribute.Receive()), L"attributes");
        out += L' ' + NodeName(attribute) + L"=\"";
        AppendEscaped(out, NodeValue(attribute), true);
        out += L'"';
    }
}

void AppendNode(std::wstring& out, const TDomNode& node, int depth);

// Child elements go on lines of their own, two blanks deeper; an element that
// holds text is written as it stands, so no value gains blanks.
void AppendElement(std::wstring& out, const TDomNode& element, int depth) {
    const std::wstring name = NodeName(element);
    out += L'<' + name;
    AppendAttributes(out, element);
    const std::vector<TDomNode> children = ChildNodes(element);
    if (children.empty()) {
        out += L"/>";
        return;
    }
    out += L'>';
    bool holdsText = false;
    for (const TDomNode& child : children) {
        const DOMNodeType type = NodeType(child);
        holdsText = holdsText || type == NODE_TEXT || type == NODE_CDATA_SECTION;
    }
    for (const TDomNode& child : children) {
        if (!holdsText) out += L"\r\n" + std::wstring(2 * (depth + 1), L' ');
        AppendNode(out, child, depth + 1);
    }
    if (!holdsText) out += L"\r\n" + std::wstring(2 * depth, L' ');
    out += L"</" + name + L'>';
}

void AppendCData(std::wstring& out, const std::wstring& raw) {
    std::wstring text = XmlSafeText(raw);
    // "]]>" cannot stand inside a section: end it there and start another.
    for (size_t pos = 0; (pos = text.find(L"]]>", pos)) != std::wstring::npos; pos += 12)
        text.replace(pos, 3, L"]]]]><![CDATA[>");
    out += L"<![CDATA[" + text + L"]]>";
}

void AppendNode(std::wstring& out, const TDomNode& node, int depth) {
    switch (NodeType(node)) {
        case NODE_ELEMENT: AppendElement(out, node, depth); break;
        case NODE_TEXT: AppendEscaped(out, NodeValue(node), false); break;
        case NODE_CDATA_SECTION: AppendCData(out, NodeValue(node)); break;
        case NODE_COMMENT: out += L"<!--" + XmlSafeText(NodeValue(node)) + L"-->"; break;
        case NODE_PROCESSING_INSTRUCTION: {
            const std::wstring data = XmlSafeText(NodeValue(node));
            out += L"<?" + NodeName(node) + (data.empty() ? L"" : L" " + data) + L"?>";
            break;
        }
        default: break;  // DTDs are refused, so there are no entity references or document types
    }
}

bool IsWrittenAtTopLevel(const TDomNode& node) {
    switch (NodeType(node)) {
        case NODE_ELEMENT:
        case NODE_COMMENT: return true;
        // The declaration is written anew: the old one may name another encoding.
        case NODE_PROCESSING_INSTRUCTION: return NodeName(node) != L"xml";
        default: return false;
    }
}

}  // namespace

std::string SerializeDomToUtf8(const TDomDocument& document) {
    std::wstring text = L"<?xml version=\"1.0\"?>\r\n";
    for (const TDomNode& node : ChildNodes(document.As<IXMLDOMNode>(IID_IXMLDOMNode))) {
        if (!IsWrittenAtTopLevel(node)) continue;
        AppendNode(text, node, 0);
        text += L"\r\n";
    }
    return ToUtf8(text);
}
