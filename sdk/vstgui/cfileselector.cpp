#include "vstgui/cfileselector.h"

#include "platform/dialog_service.h"

namespace VSTGUI {

CFileExtension::CFileExtension(const std::string& description, const std::string& extension,
                               const std::string& mimeType, int32_t macType, const std::string& uti)
    : description(description), extension(extension), mimeType(mimeType), macType(macType),
      uti(uti) {}

bool CFileExtension::operator==(const CFileExtension& other) const {
    return description == other.description && extension == other.extension &&
           mimeType == other.mimeType && macType == other.macType && uti == other.uti;
}

CNewFileSelector* CNewFileSelector::create(CFrame* parent, Style style) {
    switch (style) {
    case kSelectFile:
    case kSelectSaveFile:
    case kSelectDirectory:
        return new CNewFileSelector(parent, style);
    }
    return nullptr;
}

CNewFileSelector::CNewFileSelector(CFrame* parent, Style style) : frame(parent), style(style) {}

CNewFileSelector::~CNewFileSelector() = default;

void CNewFileSelector::forget() {
    if (--references <= 0) delete this;
}

void CNewFileSelector::setTitle(const std::string& text) {
    title = text;
}

void CNewFileSelector::setInitialDirectory(const std::string& path) {
    initialDirectory = path;
}

void CNewFileSelector::setDefaultSaveName(const std::string& name) {
    defaultSaveName = name;
}

void CNewFileSelector::setDefaultExtension(const CFileExtension& extension) {
    defaultExtension = extension;
}

void CNewFileSelector::setAllowMultiFileSelection(bool state) {
    allowMultiple = state;
}

void CNewFileSelector::addFileExtension(const CFileExtension& extension) {
    extensions.push_back(extension);
}

const CFileExtension* CNewFileSelector::getDefaultExtension() const {
    return defaultExtension ? &*defaultExtension : nullptr;
}

bool CNewFileSelector::runModal() {
    FileDialogRequest request;
    switch (style) {
    case kSelectFile:
        request.mode = FileDialogRequest::Mode::open;
        break;
    case kSelectSaveFile:
        request.mode = FileDialogRequest::Mode::save;
        break;
    case kSelectDirectory:
        request.mode = FileDialogRequest::Mode::folder;
        break;
    }
    request.title = title;
    request.initialFolder = initialDirectory;
    request.defaultSaveName = defaultSaveName;
    for (const CFileExtension& extension : extensions)
        request.filters.push_back({extension.getDescription(), extension.getExtension()});
    if (defaultExtension)
        request.defaultFilter =
            FileDialogFilter{defaultExtension->getDescription(), defaultExtension->getExtension()};
    request.allowMultiple = allowMultiple;

    selected = dialogService().runFileSelector(request);
    return !selected.empty();
}

uint32_t CNewFileSelector::getNumSelectedFiles() const {
    return static_cast<uint32_t>(selected.size());
}

const char* CNewFileSelector::getSelectedFile(uint32_t index) const {
    if (index >= selected.size()) return nullptr;
    return selected[index].c_str();
}

} // namespace VSTGUI
