// Wine's shell link object keeps no data flags (its IShellLinkDataList
// SetFlags does nothing), so the flags a link is saved with cannot be read
// back from Wine's files. While a ShellLinkRecorder is installed, every link
// object this test program creates through COM is Wine's real one behind a
// thin wrapper that records the flags set on it and each Save; everything else
// goes straight to the real object, so the link files are Wine's own.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

class ShellLinkRecorder {
  public:
    struct SavedLink {
        std::wstring path;
        bool flagsWereSet = false; // SetFlags was called before this Save
        DWORD flags = 0;           // the flags last set before it
    };

    // offerDataList false: the wrapped links refuse IShellLinkDataList, as a
    // shell without it would. COM must be initialised on this thread for the
    // recorder's whole life.
    explicit ShellLinkRecorder(bool offerDataList = true);
    ~ShellLinkRecorder();
    ShellLinkRecorder(const ShellLinkRecorder&) = delete;
    ShellLinkRecorder& operator=(const ShellLinkRecorder&) = delete;

    bool installed() const {
        return cookie_ != 0;
    }
    const std::vector<SavedLink>& saved() const {
        return saved_;
    }

  private:
    friend class RecordingLink;
    friend class RecordingFactory;

    bool offerDataList_;
    DWORD cookie_ = 0;
    IClassFactory* realFactory_ = nullptr;
    IClassFactory* factory_ = nullptr;
    std::vector<SavedLink> saved_;
};

// Whether the shell link object in use keeps the data flags set on it.
bool shellLinkKeepsDataFlags();
