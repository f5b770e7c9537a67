#include "link_recorder.h"

#include <objbase.h>
#include <shlobj.h>

namespace {

ShellLinkRecorder* activeRecorder = nullptr;

using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

} // namespace

// One link: IShellLinkA and IPersistFile forward to the real object;
// IShellLinkDataList records, then forwards too.
class RecordingLink : public IShellLinkA, public IPersistFile, public IShellLinkDataList {
  public:
    RecordingLink(IShellLinkA* link, IPersistFile* file, IShellLinkDataList* data)
        : link_(link), file_(file), data_(data) {}
    virtual ~RecordingLink() {
        link_->Release();
        file_->Release();
        if (data_) {
            data_->Release();
        }
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IShellLinkA) {
            *out = static_cast<IShellLinkA*>(this);
        } else if (riid == IID_IPersistFile || riid == IID_IPersist) {
            *out = static_cast<IPersistFile*>(this);
        } else if (riid == IID_IShellLinkDataList && activeRecorder &&
                   activeRecorder->offerDataList_) {
            *out = static_cast<IShellLinkDataList*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return ++references_;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IShellLinkA
    HRESULT STDMETHODCALLTYPE GetPath(LPSTR file, int size, WIN32_FIND_DATAA* data,
                                      DWORD flags) override {
        return link_->GetPath(file, size, data, flags);
    }
    HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE* list) override {
        return link_->GetIDList(list);
    }
    HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE list) override {
        return link_->SetIDList(list);
    }
    HRESULT STDMETHODCALLTYPE GetDescription(LPSTR name, int size) override {
        return link_->GetDescription(name, size);
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR name) override {
        return link_->SetDescription(name);
    }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR dir, int size) override {
        return link_->GetWorkingDirectory(dir, size);
    }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR dir) override {
        return link_->SetWorkingDirectory(dir);
    }
    HRESULT STDMETHODCALLTYPE GetArguments(LPSTR args, int size) override {
        return link_->GetArguments(args, size);
    }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR args) override {
        return link_->SetArguments(args);
    }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD* key) override {
        return link_->GetHotkey(key);
    }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD key) override {
        return link_->SetHotkey(key);
    }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int* show) override {
        return link_->GetShowCmd(show);
    }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int show) override {
        return link_->SetShowCmd(show);
    }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR path, int size, int* index) override {
        return link_->GetIconLocation(path, size, index);
    }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR path, int index) override {
        return link_->SetIconLocation(path, index);
    }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR path, DWORD reserved) override {
        return link_->SetRelativePath(path, reserved);
    }
    HRESULT STDMETHODCALLTYPE Resolve(HWND window, DWORD flags) override {
        return link_->Resolve(window, flags);
    }
    HRESULT STDMETHODCALLTYPE SetPath(LPCSTR file) override {
        return link_->SetPath(file);
    }

    // IPersistFile
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
        return file_->GetClassID(id);
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override {
        return file_->IsDirty();
    }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR name, DWORD mode) override {
        return file_->Load(name, mode);
    }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR name, BOOL remember) override {
        if (activeRecorder) {
            activeRecorder->saved_.push_back({name ? name : L"", flagsWereSet_, flags_});
        }
        return file_->Save(name, remember);
    }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR name) override {
        return file_->SaveCompleted(name);
    }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name) override {
        return file_->GetCurFile(name);
    }

    // IShellLinkDataList
    HRESULT STDMETHODCALLTYPE AddDataBlock(void* block) override {
        return data_ ? data_->AddDataBlock(block) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CopyDataBlock(DWORD signature, void** block) override {
        return data_ ? data_->CopyDataBlock(signature, block) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RemoveDataBlock(DWORD signature) override {
        return data_ ? data_->RemoveDataBlock(signature) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetFlags(DWORD* flags) override {
        if (flagsWereSet_) {
            *flags = flags_;
            return S_OK;
        }
        return data_ ? data_->GetFlags(flags) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetFlags(DWORD flags) override {
        flagsWereSet_ = true;
        flags_ = flags;
        if (data_) {
            data_->SetFlags(flags);
        }
        return S_OK;
    }

  private:
    ULONG references_ = 1;
    IShellLinkA* link_;
    IPersistFile* file_;
    IShellLinkDataList* data_;
    bool flagsWereSet_ = false;
    DWORD flags_ = 0;
};

// Makes wrapped links; registered for CLSID_ShellLink in this process.
class RecordingFactory : public IClassFactory {
  public:
    virtual ~RecordingFactory() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return ++references_;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        *out = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        if (activeRecorder == nullptr) {
            return E_FAIL;
        }
        IShellLinkA* link = nullptr;
        HRESULT result = activeRecorder->realFactory_->CreateInstance(
            nullptr, IID_IShellLinkA, reinterpret_cast<void**>(&link));
        if (FAILED(result)) {
            return result;
        }
        IPersistFile* file = nullptr;
        result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        if (FAILED(result)) {
            link->Release();
            return result;
        }
        IShellLinkDataList* data = nullptr;
        if (FAILED(link->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(&data)))) {
            data = nullptr;
        }
        auto* wrapper = new RecordingLink(link, file, data);
        result = wrapper->QueryInterface(riid, out);
        wrapper->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override {
        return S_OK;
    }

  private:
    ULONG references_ = 1;
};

ShellLinkRecorder::ShellLinkRecorder(bool offerDataList) : offerDataList_(offerDataList) {
    HMODULE shell = LoadLibraryA("shell32.dll");
    auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(shell, "DllGetClassObject")));
    if (getClassObject == nullptr ||
        FAILED(getClassObject(CLSID_ShellLink, IID_IClassFactory,
                              reinterpret_cast<void**>(&realFactory_)))) {
        realFactory_ = nullptr;
        return;
    }
    factory_ = new RecordingFactory;
    activeRecorder = this;
    if (FAILED(CoRegisterClassObject(CLSID_ShellLink, factory_, CLSCTX_INPROC_SERVER,
                                     REGCLS_MULTIPLEUSE, &cookie_))) {
        cookie_ = 0;
    }
}

ShellLinkRecorder::~ShellLinkRecorder() {
    if (cookie_ != 0) {
        CoRevokeClassObject(cookie_);
    }
    activeRecorder = nullptr;
    if (factory_) {
        factory_->Release();
    }
    if (realFactory_) {
        realFactory_->Release();
    }
}

bool shellLinkKeepsDataFlags() {
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        return false;
    }
    bool keeps = false;
    IShellLinkDataList* data = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(&data)))) {
        DWORD flags = 0;
        keeps = SUCCEEDED(data->SetFlags(SLDF_DISABLE_KNOWNFOLDER_RELATIVE_TRACKING)) &&
                SUCCEEDED(data->GetFlags(&flags)) &&
                (flags & SLDF_DISABLE_KNOWNFOLDER_RELATIVE_TRACKING) != 0;
        data->Release();
    }
    link->Release();
    return keeps;
}
