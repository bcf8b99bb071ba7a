// Reads the application manifest back from the built launcher.exe as XML, where a misplaced
// element or a wrong namespace shows, and hands it to the loader once, which refuses to start a
// program whose manifest it rejects.

#include <windows.h>
#include <shlwapi.h>
#include <initguid.h>
#include <xmllite.h>

#include <gtest/gtest.h>

#include "tests/exe/built_launcher.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <map>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace built_launcher;

constexpr wchar_t kAsmV1[] = L"urn:schemas-microsoft-com:asm.v1";
constexpr wchar_t kAsmV3[] = L"urn:schemas-microsoft-com:asm.v3";
constexpr wchar_t kCompatibility[] = L"urn:schemas-microsoft-com:compatibility.v1";
constexpr wchar_t kSettings2005[] = L"http://schemas.microsoft.com/SMI/2005/WindowsSettings";
constexpr wchar_t kSettings2016[] = L"http://schemas.microsoft.com/SMI/2016/WindowsSettings";

std::wstring Lower(std::wstring s) {
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
    return s;
}

struct Element {
    std::wstring ns;
    std::wstring name;
    std::map<std::wstring, std::wstring> attributes;  // manifests put none in a namespace: "{ns}name" if one does
    std::wstring text;
    std::vector<Element> children;
};

struct QName {
    const wchar_t* ns;
    const wchar_t* name;
};
using Path = std::vector<QName>;

// Every element reached from `at` along exactly this chain of qualified names, `at`'s own first.
std::vector<const Element*> Select(const Element& at, std::span<const QName> path) {
    if (path.empty() || at.ns != path[0].ns || at.name != path[0].name) return {};
    if (path.size() == 1) return {&at};
    std::vector<const Element*> out;
    for (const Element& child : at.children) std::ranges::copy(Select(child, path.subspan(1)), back_inserter(out));
    return out;
}

template <typename T>
struct ComPtr {
    T* p = nullptr;
    ~ComPtr() { if (p) p->Release(); }
    T* operator->() const { return p; }
};

// Throws on anything that is not well-formed; whitespace and comments are dropped.
Element ParseXml(const std::vector<uint8_t>& bytes) {
    HMODULE xmllite = LoadLibraryW(L"xmllite.dll");
    using CreateReader = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
    // Through void(*)(), the one function pointer type GCC lets any other be cast from.
    auto create = reinterpret_cast<CreateReader>(
        reinterpret_cast<void (*)()>(xmllite ? GetProcAddress(xmllite, "CreateXmlReader") : nullptr));
    ComPtr<IXmlReader> reader;
    ComPtr<IStream> stream;
    stream.p = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
    if (!create || FAILED(create(IID_IXmlReader, reinterpret_cast<void**>(&reader.p), nullptr)) || !stream.p ||
        FAILED(reader->SetInput(stream.p)))
        throw std::runtime_error("cannot set up XmlLite");

    auto text = [&](HRESULT (STDMETHODCALLTYPE IXmlReader::*get)(LPCWSTR*, UINT*)) {
        LPCWSTR value = nullptr;
        UINT length = 0;
        if (FAILED((reader.p->*get)(&value, &length))) throw std::runtime_error("IXmlReader lost its node");
        return std::wstring(value, length);
    };

    Element document;  // a holder for the root element
    std::vector<Element*> open{&document};
    XmlNodeType type;
    for (HRESULT hr; (hr = reader->Read(&type)) != S_FALSE;) {
        if (FAILED(hr)) throw std::runtime_error("the manifest is not well-formed XML: " + std::to_string(hr));
        if (type == XmlNodeType_Element) {
            Element element;
            element.ns = text(&IXmlReader::GetNamespaceUri);
            element.name = text(&IXmlReader::GetLocalName);
            const bool empty = reader->IsEmptyElement();
            for (hr = reader->MoveToFirstAttribute(); hr == S_OK; hr = reader->MoveToNextAttribute()) {
                const std::wstring ns = text(&IXmlReader::GetNamespaceUri);
                std::wstring name = text(&IXmlReader::GetLocalName);
                if (ns == L"http://www.w3.org/2000/xmlns/" || (ns.empty() && name == L"xmlns")) continue;
                if (!ns.empty()) name = L"{" + ns + L"}" + name;
                element.attributes[name] = text(&IXmlReader::GetValue);
            }
            open.back()->children.push_back(std::move(element));
            if (!empty) open.push_back(&open.back()->children.back());
        } else if (type == XmlNodeType_EndElement) {
            open.pop_back();
        } else if (type == XmlNodeType_Text || type == XmlNodeType_CDATA) {
            open.back()->text += text(&IXmlReader::GetValue);
        }
    }
    if (document.children.size() != 1) throw std::runtime_error("the manifest has no single root element");
    return std::move(document.children[0]);
}

class Manifest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(resources_.module, nullptr) << "cannot load " << Narrow(LauncherPath()) << " for its resources";
        Bytes found = resources_.Find(RT_MANIFEST, MAKEINTRESOURCEW(1), kUsEnglish);
        ASSERT_NE(found.data, nullptr) << "no US English manifest with id 1";
        ASSERT_NO_THROW(root_ = ParseXml({found.data, found.data + found.size}));
    }

    ResourceModule resources_;
    Element root_;
};

TEST_F(Manifest, IsTheOnlyOneWithIdOneInUsEnglish) {
    std::vector<ResourceId> names = Names(resources_.module, RT_MANIFEST);
    ASSERT_EQ(names.size(), 1u) << "a second manifest (a toolchain's default one?) would be ignored or clash";
    EXPECT_EQ(names[0].Describe(), "#1") << "the loader reads only id 1 of an executable";
    EXPECT_EQ(Languages(resources_.module, RT_MANIFEST, MAKEINTRESOURCEW(1)), std::vector<WORD>{kUsEnglish});
}

// Each setting is one element at exactly this place, with exactly these attributes and text.
TEST_F(Manifest, SettingsAreWhereTheLoaderLooks) {
    using Attributes = std::map<std::wstring, std::wstring>;
    const struct {
        const char* what;
        Path path;
        Attributes attributes;
        std::wstring text;
    } settings[] = {
        {"a version 1 assembly", {}, {{L"manifestVersion", L"1.0"}}, L""},
        {"runs as invoker without UI access",
         {{kAsmV3, L"trustInfo"}, {kAsmV3, L"security"}, {kAsmV3, L"requestedPrivileges"},
          {kAsmV3, L"requestedExecutionLevel"}},
         {{L"level", L"asInvoker"}, {L"uiAccess", L"false"}},
         L""},
        {"Common Controls 6",
         {{kAsmV1, L"dependency"}, {kAsmV1, L"dependentAssembly"}, {kAsmV1, L"assemblyIdentity"}},
         {{L"type", L"win32"},
          {L"name", L"Microsoft.Windows.Common-Controls"},
          {L"version", L"6.0.0.0"},
          {L"processorArchitecture", L"*"},
          {L"publicKeyToken", L"6595b64144ccf1df"},
          {L"language", L"*"}},
         L""},
        // Windows 10 1607 and later read dpiAwareness and ignore dpiAware; older ones only know dpiAware.
        {"dpiAware", {{kAsmV3, L"application"}, {kAsmV3, L"windowsSettings"}, {kSettings2005, L"dpiAware"}}, {},
         L"true/pm"},
        {"dpiAwareness", {{kAsmV3, L"application"}, {kAsmV3, L"windowsSettings"}, {kSettings2016, L"dpiAwareness"}},
         {}, L"PerMonitorV2, PerMonitor"},
    };
    for (const auto& setting : settings) {
        SCOPED_TRACE(setting.what);
        Path path{{kAsmV1, L"assembly"}};
        path.insert(path.end(), setting.path.begin(), setting.path.end());
        auto found = Select(root_, path);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0]->attributes, setting.attributes);
        EXPECT_EQ(found[0]->text, setting.text);
    }
}

TEST_F(Manifest, SupportsWindows7To11) {
    std::multiset<std::wstring> declared;
    for (const Element* os : Select(root_, Path{{kAsmV1, L"assembly"},
                                            {kCompatibility, L"compatibility"},
                                            {kCompatibility, L"application"},
                                            {kCompatibility, L"supportedOS"}}))
        declared.insert(os->attributes.contains(L"Id") ? Lower(os->attributes.at(L"Id")) : L"<no Id>");
    // Microsoft's identifiers: Windows 10 (and 11), 8.1, 8, 7. Nothing older, nothing unknown.
    EXPECT_EQ(declared, (std::multiset<std::wstring>{L"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
                                                     L"{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                                                     L"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                                                     L"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"}));
}

// Anywhere, in any namespace or letter case: the loader is not to be second-guessed.
TEST_F(Manifest, LeavesTheCodePageAndLongPathsAlone) {
    std::vector<const Element*> pending{&root_};
    while (!pending.empty()) {
        const Element* at = pending.back();
        pending.pop_back();
        EXPECT_NE(Lower(at->name), L"activecodepage");
        EXPECT_NE(Lower(at->name), L"longpathaware");
        for (const Element& child : at->children) pending.push_back(&child);
    }
}

// What XML alone cannot tell: that Windows accepts the manifest, and so would start the launcher.
TEST(ActivationContext, LoaderAcceptsTheManifest) {
    const std::wstring path = LauncherPath();
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    HANDLE context = CreateActCtxW(&request);
    EXPECT_NE(context, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    if (context != INVALID_HANDLE_VALUE) ReleaseActCtx(context);
}

}  // namespace
