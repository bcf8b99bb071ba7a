// Reads the application manifest back from the built launcher.exe, twice: as XML, where a
// misplaced element or a wrong namespace shows, and through the activation-context APIs, which
// is what the loader makes of it when the launcher starts.

#include <windows.h>
#include <shlwapi.h>
#include <initguid.h>
#include <xmllite.h>

#include <gtest/gtest.h>

#include "tests/exe/built_launcher.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <initializer_list>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using built_launcher::LauncherPath;
using built_launcher::ResourceModule;

constexpr WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

constexpr wchar_t kAsmV1[] = L"urn:schemas-microsoft-com:asm.v1";
constexpr wchar_t kAsmV3[] = L"urn:schemas-microsoft-com:asm.v3";
constexpr wchar_t kCompatibility[] = L"urn:schemas-microsoft-com:compatibility.v1";
constexpr wchar_t kSettings2005[] = L"http://schemas.microsoft.com/SMI/2005/WindowsSettings";
constexpr wchar_t kSettings2016[] = L"http://schemas.microsoft.com/SMI/2016/WindowsSettings";
constexpr wchar_t kSettings2019[] = L"http://schemas.microsoft.com/SMI/2019/WindowsSettings";

struct SupportedOs {
    const char* name;
    const wchar_t* id;
};

// Microsoft's identifiers; Windows 11 shares the Windows 10 one.
constexpr SupportedOs kSupportedOs[] = {
    {"Windows 10 and 11", L"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"},
    {"Windows 8.1", L"{1f676c76-80e1-4239-95bb-83d0f6d0da78}"},
    {"Windows 8", L"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"},
    {"Windows 7", L"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"},
};

std::string Narrow(const std::wstring& s) {
    return std::string(s.begin(), s.end());  // messages only; everything here is ASCII
}

std::wstring Lower(std::wstring s) {
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
    return s;
}

std::string Hex(unsigned long value) {
    char text[16];
    snprintf(text, sizeof text, "0x%08lx", value);
    return text;
}


// ---------------------------------------------------------------------------------------------
// The manifest as XML, namespaces resolved by XmlLite.

struct Attribute {
    std::wstring ns;
    std::wstring name;
    std::wstring value;
};

struct Element {
    std::wstring ns;
    std::wstring name;
    std::vector<Attribute> attributes;
    std::wstring text;
    std::vector<Element> children;

    // Attributes in a manifest carry no prefix, so they are in no namespace.
    const std::wstring* Find(const wchar_t* attribute) const {
        for (const Attribute& a : attributes)
            if (a.ns.empty() && a.name == attribute) return &a.value;
        return nullptr;
    }
    std::wstring Get(const wchar_t* attribute) const {
        const std::wstring* value = Find(attribute);
        return value ? *value : L"<absent>";
    }
};

struct QName {
    const wchar_t* ns;
    const wchar_t* name;
};

// Every element reached from the root along exactly this chain of qualified names.
void Select(const Element& at, const QName* path, size_t depth, std::vector<const Element*>* out) {
    if (at.ns != path[0].ns || at.name != path[0].name) return;
    if (depth == 1) {
        out->push_back(&at);
        return;
    }
    for (const Element& child : at.children) Select(child, path + 1, depth - 1, out);
}

std::vector<const Element*> Select(const Element& root, std::initializer_list<QName> path) {
    std::vector<const Element*> out;
    Select(root, path.begin(), path.size(), &out);
    return out;
}

void Collect(const Element& at, const wchar_t* localName, std::vector<const Element*>* out) {
    if (Lower(at.name) == Lower(localName)) out->push_back(&at);
    for (const Element& child : at.children) Collect(child, localName, out);
}

template <typename T>
struct ComPtr {
    T* p = nullptr;
    ~ComPtr() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
};

// Throws on anything that is not well-formed; whitespace and comments are dropped.
Element ParseXml(const uint8_t* data, size_t size) {
    HMODULE xmllite = LoadLibraryW(L"xmllite.dll");
    if (!xmllite) throw std::runtime_error("xmllite.dll is missing");
    using CreateReader = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
    // Through void(*)(), the one function pointer type GCC lets any other be cast from.
    auto create = reinterpret_cast<CreateReader>(
        reinterpret_cast<void (*)()>(GetProcAddress(xmllite, "CreateXmlReader")));
    if (!create) throw std::runtime_error("xmllite.dll has no CreateXmlReader");

    ComPtr<IXmlReader> reader;
    if (FAILED(create(IID_IXmlReader, reinterpret_cast<void**>(&reader.p), nullptr)))
        throw std::runtime_error("CreateXmlReader failed");
    ComPtr<IStream> stream;
    stream.p = SHCreateMemStream(data, static_cast<UINT>(size));
    if (!stream.p) throw std::runtime_error("SHCreateMemStream failed");
    if (FAILED(reader->SetInput(stream.p))) throw std::runtime_error("IXmlReader::SetInput failed");

    auto text = [&](HRESULT (STDMETHODCALLTYPE IXmlReader::*get)(LPCWSTR*, UINT*)) {
        LPCWSTR value = nullptr;
        UINT length = 0;
        if (FAILED((reader.p->*get)(&value, &length))) throw std::runtime_error("IXmlReader lost its node");
        return std::wstring(value, length);
    };

    Element document;  // a holder for the root element
    std::vector<Element*> open{&document};
    XmlNodeType type;
    for (;;) {
        HRESULT hr = reader->Read(&type);
        if (hr == S_FALSE) break;
        if (FAILED(hr)) throw std::runtime_error("the manifest is not well-formed XML: HRESULT " + Hex(hr));
        if (type == XmlNodeType_Element) {
            Element element;
            element.ns = text(&IXmlReader::GetNamespaceUri);
            element.name = text(&IXmlReader::GetLocalName);
            const bool empty = reader->IsEmptyElement();
            for (hr = reader->MoveToFirstAttribute(); hr == S_OK; hr = reader->MoveToNextAttribute()) {
                Attribute a{text(&IXmlReader::GetNamespaceUri), text(&IXmlReader::GetLocalName),
                            text(&IXmlReader::GetValue)};
                if (a.ns != L"http://www.w3.org/2000/xmlns/" && !(a.ns.empty() && a.name == L"xmlns"))
                    element.attributes.push_back(std::move(a));
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

// ---------------------------------------------------------------------------------------------


class Manifest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        resources_ = new ResourceModule;
        if (!resources_->module) return;
        HRSRC found = FindResourceW(resources_->module, MAKEINTRESOURCEW(1), RT_MANIFEST);
        if (!found) return;
        HGLOBAL loaded = LoadResource(resources_->module, found);
        const auto* data = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
        if (data) bytes_.assign(data, data + SizeofResource(resources_->module, found));
    }
    static void TearDownTestSuite() {
        delete resources_;
        resources_ = nullptr;
        bytes_.clear();
    }
    void SetUp() override {
        ASSERT_NE(resources_->module, nullptr) << "cannot load " << Narrow(LauncherPath()) << " for its resources";
        ASSERT_FALSE(bytes_.empty()) << "no manifest with id 1";
    }

    static Element Root() { return ParseXml(bytes_.data(), bytes_.size()); }

    static ResourceModule* resources_;
    static std::vector<uint8_t> bytes_;
};
ResourceModule* Manifest::resources_ = nullptr;
std::vector<uint8_t> Manifest::bytes_;

TEST_F(Manifest, IsTheOnlyOneWithIdOneInUsEnglish) {
    std::vector<LPWSTR> names;
    EnumResourceNamesW(
        resources_->module, RT_MANIFEST,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
            reinterpret_cast<std::vector<LPWSTR>*>(param)->push_back(name);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&names));
    ASSERT_EQ(names.size(), 1u) << "a second manifest (a toolchain's default one?) would be ignored or clash";
    ASSERT_TRUE(IS_INTRESOURCE(names[0])) << "named " << Narrow(names[0]);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(names[0]), 1u) << "the loader reads only id 1 of an executable";

    std::vector<WORD> languages;
    EnumResourceLanguagesW(
        resources_->module, RT_MANIFEST, MAKEINTRESOURCEW(1),
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) -> BOOL {
            reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{kUsEnglish});
}

TEST_F(Manifest, IsAVersionOneAssembly) {
    Element root = Root();
    EXPECT_EQ(root.ns, kAsmV1);
    EXPECT_EQ(root.name, L"assembly");
    EXPECT_EQ(root.Get(L"manifestVersion"), L"1.0");
}

TEST_F(Manifest, RunsAsInvokerWithoutUiAccess) {
    Element root = Root();
    auto found = Select(root, {{kAsmV1, L"assembly"},
                               {kAsmV3, L"trustInfo"},
                               {kAsmV3, L"security"},
                               {kAsmV3, L"requestedPrivileges"},
                               {kAsmV3, L"requestedExecutionLevel"}});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->Get(L"level"), L"asInvoker");
    EXPECT_EQ(found[0]->Get(L"uiAccess"), L"false");
}

TEST_F(Manifest, SupportsWindows7To11) {
    Element root = Root();
    std::multiset<std::wstring> declared;
    for (const Element* os : Select(root, {{kAsmV1, L"assembly"},
                                           {kCompatibility, L"compatibility"},
                                           {kCompatibility, L"application"},
                                           {kCompatibility, L"supportedOS"}}))
        declared.insert(Lower(os->Get(L"Id")));
    for (const SupportedOs& os : kSupportedOs)
        EXPECT_EQ(declared.count(os.id), 1u) << os.name << " " << Narrow(os.id);
    EXPECT_EQ(declared.size(), std::size(kSupportedOs)) << "nothing older, nothing unknown";
}

TEST_F(Manifest, DependsOnCommonControlsSix) {
    Element root = Root();
    auto found = Select(root, {{kAsmV1, L"assembly"},
                               {kAsmV1, L"dependency"},
                               {kAsmV1, L"dependentAssembly"},
                               {kAsmV1, L"assemblyIdentity"}});
    ASSERT_EQ(found.size(), 1u) << "exactly one dependency";
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } expected[] = {
        {L"type", L"win32"},
        {L"name", L"Microsoft.Windows.Common-Controls"},
        {L"version", L"6.0.0.0"},
        {L"processorArchitecture", L"*"},
        {L"publicKeyToken", L"6595b64144ccf1df"},
        {L"language", L"*"},
    };
    for (const auto& attribute : expected)
        EXPECT_EQ(found[0]->Get(attribute.name), attribute.value) << Narrow(attribute.name);
    EXPECT_EQ(found[0]->attributes.size(), std::size(expected));
}

TEST_F(Manifest, IsPerMonitorDpiAware) {
    Element root = Root();
    // Windows 10 1607 and later read dpiAwareness and ignore dpiAware; older ones only know dpiAware.
    const struct {
        const wchar_t* ns;
        const wchar_t* name;
        const wchar_t* value;
    } settings[] = {
        {kSettings2005, L"dpiAware", L"true/pm"},
        {kSettings2016, L"dpiAwareness", L"PerMonitorV2, PerMonitor"},
    };
    for (const auto& setting : settings) {
        SCOPED_TRACE(Narrow(setting.name));
        auto found = Select(root, {{kAsmV1, L"assembly"},
                                   {kAsmV3, L"application"},
                                   {kAsmV3, L"windowsSettings"},
                                   {setting.ns, setting.name}});
        ASSERT_EQ(found.size(), 1u) << "in namespace " << Narrow(setting.ns);
        EXPECT_EQ(found[0]->text, setting.value);
    }
}

TEST_F(Manifest, LeavesTheCodePageAndLongPathsAlone) {
    Element root = Root();
    // Anywhere, in any namespace or letter case: the loader is not to be second-guessed.
    for (const wchar_t* name : {L"activeCodePage", L"longPathAware"}) {
        std::vector<const Element*> found;
        Collect(root, name, &found);
        EXPECT_TRUE(found.empty()) << Narrow(name) << " = \"" << Narrow(found.empty() ? L"" : found[0]->text) << "\"";
    }
}

// ---------------------------------------------------------------------------------------------
// The same manifest as the loader reads it into an activation context.

class ActivationContext : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = LauncherPath();
        ACTCTXW request{};
        request.cbSize = sizeof request;
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = path_.c_str();
        request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
        context_ = CreateActCtxW(&request);
        ASSERT_NE(context_, INVALID_HANDLE_VALUE)
            << "the loader rejects the manifest, so Windows would refuse to start the launcher: error "
            << GetLastError();
    }
    void TearDown() override {
        if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
    }

    std::vector<uint8_t> Query(ULONG infoClass) const {
        SIZE_T needed = 0;
        QueryActCtxW(0, context_, nullptr, infoClass, nullptr, 0, &needed);
        std::vector<uint8_t> info(needed);
        if (needed == 0 || !QueryActCtxW(0, context_, nullptr, infoClass, info.data(), info.size(), &needed))
            return {};
        info.resize(needed);
        return info;
    }

    std::wstring path_;
    HANDLE context_ = INVALID_HANDLE_VALUE;
};

TEST_F(ActivationContext, RunLevelIsAsInvokerWithoutUiAccess) {
    std::vector<uint8_t> info = Query(RunlevelInformationInActivationContext);
    ASSERT_GE(info.size(), sizeof(ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION));
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel;
    std::memcpy(&runLevel, info.data(), sizeof runLevel);
    EXPECT_EQ(runLevel.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(runLevel.UiAccess, 0u);
}

TEST_F(ActivationContext, CompatibilityListsWindows7To11) {
    std::vector<uint8_t> info = Query(CompatibilityInformationInActivationContext);
    ASSERT_GE(info.size(), sizeof(DWORD));
    DWORD count;
    std::memcpy(&count, info.data(), sizeof count);
    // Newer systems append a 64-bit MaxVersionTested to each element, which moves the array to 8.
    size_t first = 0, stride = 0;
    if (info.size() == sizeof(DWORD) + count * sizeof(COMPATIBILITY_CONTEXT_ELEMENT)) {
        first = sizeof(DWORD);
        stride = sizeof(COMPATIBILITY_CONTEXT_ELEMENT);
    } else if (info.size() == 8 + count * 32) {
        first = 8;
        stride = 32;
    } else {
        FAIL() << info.size() << " bytes for " << count << " elements: unknown layout";
    }
    std::multiset<std::wstring> declared;
    for (DWORD i = 0; i < count; ++i) {
        COMPATIBILITY_CONTEXT_ELEMENT element;
        std::memcpy(&element, info.data() + first + i * stride, sizeof element);
        if (element.Type != ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS) continue;
        wchar_t text[40];
        ASSERT_GT(StringFromGUID2(element.Id, text, 40), 0);
        declared.insert(Lower(text));
    }
    for (const SupportedOs& os : kSupportedOs) EXPECT_EQ(declared.count(os.id), 1u) << os.name;
    EXPECT_EQ(declared.size(), std::size(kSupportedOs));
}

TEST_F(ActivationContext, WindowsSettingsReadBack) {
    const struct {
        const wchar_t* ns;
        const wchar_t* name;
        const wchar_t* value;  // null: must not be set
    } settings[] = {
        {kSettings2005, L"dpiAware", L"true/pm"},
        {kSettings2016, L"dpiAwareness", L"PerMonitorV2, PerMonitor"},
        {kSettings2016, L"longPathAware", nullptr},
        {kSettings2019, L"activeCodePage", nullptr},
    };
    for (const auto& setting : settings) {
        SCOPED_TRACE(Narrow(setting.name));
        wchar_t value[64] = {};
        SIZE_T written = 0;
        BOOL ok = QueryActCtxSettingsW(0, context_, setting.ns, setting.name, value, std::size(value), &written);
        const DWORD error = ok ? 0 : GetLastError();
        if (setting.value) {
            ASSERT_TRUE(ok) << "error " << error;
            EXPECT_EQ(std::wstring(value), setting.value);
        } else {
            EXPECT_FALSE(ok) << "set to \"" << Narrow(value) << "\"";
            if (!ok) {
                EXPECT_EQ(error, static_cast<DWORD>(ERROR_SXS_KEY_NOT_FOUND));
            }
        }
    }
}

}  // namespace
