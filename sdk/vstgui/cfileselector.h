// File selector of the GUI layer: a modal dialog that picks files to open, a
// file name to save to, or a folder.
//
//   CNewFileSelector* selector = CNewFileSelector::create(nullptr, CNewFileSelector::kSelectFile);
//   selector->setTitle("Load");
//   selector->addFileExtension(CFileExtension("wav", "wav"));
//   if (selector->runModal() && selector->getNumSelectedFiles() == 1)
//       use(selector->getSelectedFile(0));
//   selector->forget();
//
// The dialog itself is shown by the process's current DialogService
// (platform/dialog_service.h); without a display every selection is
// cancelled. runModal() blocks until the user closes the dialog, so it
// belongs to the user-interface thread and never to the audio thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace VSTGUI {

class CFrame;

// One file type the selector offers. The extension is given without its dot.
class CFileExtension {
public:
    CFileExtension(const std::string& description, const std::string& extension,
                   const std::string& mimeType = "", int32_t macType = 0,
                   const std::string& uti = "");

    const std::string& getDescription() const { return description; }
    const std::string& getExtension() const { return extension; }
    const std::string& getMimeType() const { return mimeType; }
    int32_t getMacType() const { return macType; }
    const std::string& getUTI() const { return uti; }

    bool operator==(const CFileExtension& other) const;

private:
    std::string description;
    std::string extension;
    std::string mimeType;
    int32_t macType = 0;
    std::string uti;
};

class CNewFileSelector {
public:
    enum Style {
        kSelectFile,      // choose existing files to open
        kSelectSaveFile,  // name a file to save to
        kSelectDirectory, // choose a folder
    };

    // A new selector, owned by the caller through one reference (release it
    // with forget()); nullptr when the style is unknown. The frame is the
    // window the dialog belongs to and may be null.
    static CNewFileSelector* create(CFrame* parent = nullptr, Style style = kSelectFile);

    // Reference counting: a new selector holds one reference; the last
    // forget() deletes it.
    void remember() { ++references; }
    void forget();
    int32_t getNbReference() const { return references; }

    // Shows the dialog and waits for it. true when at least one file was
    // chosen; the previous selection is replaced either way.
    bool runModal();

    void setTitle(const std::string& title);
    void setInitialDirectory(const std::string& path);
    void setDefaultSaveName(const std::string& name);
    void setDefaultExtension(const CFileExtension& extension);
    void setAllowMultiFileSelection(bool state);
    void addFileExtension(const CFileExtension& extension);

    uint32_t getNumSelectedFiles() const;
    // Full path of chosen file index; nullptr for an index out of range. The
    // text lives until the next runModal() or the selector's end.
    const char* getSelectedFile(uint32_t index) const;

    Style getStyle() const { return style; }
    CFrame* getFrame() const { return frame; }
    const std::string& getTitle() const { return title; }
    const std::string& getInitialDirectory() const { return initialDirectory; }
    const std::string& getDefaultSaveName() const { return defaultSaveName; }
    const std::vector<CFileExtension>& getFileExtensions() const { return extensions; }
    // nullptr when no default extension was set.
    const CFileExtension* getDefaultExtension() const;
    bool getAllowMultiFileSelection() const { return allowMultiple; }

    CNewFileSelector(const CNewFileSelector&) = delete;
    CNewFileSelector& operator=(const CNewFileSelector&) = delete;

protected:
    CNewFileSelector(CFrame* parent, Style style);
    virtual ~CNewFileSelector();

private:
    CFrame* frame;
    Style style;
    int32_t references = 1;
    std::string title;
    std::string initialDirectory;
    std::string defaultSaveName;
    std::vector<CFileExtension> extensions;
    std::optional<CFileExtension> defaultExtension;
    bool allowMultiple = false;
    std::vector<std::string> selected;
};

} // namespace VSTGUI
