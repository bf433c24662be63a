// Builds a control tree from a window description.
#pragma once

#include "UIControl.h"
#include "UIDefine.h"
#include "UIMarkup.h"

#include <string>

namespace SkinUI {

class CPaintManagerUI;

class CDialogBuilder {
public:
    // `description` is either the description's name (package or resource path) or, when it
    // starts with '<', the markup itself. Returns the root control (owned by the caller until it
    // is attached) or null; the Window element's attributes and fonts go to `manager`.
    CControlUI* Create(const std::wstring& description, IDialogBuilderCallback* callback,
                       CPaintManagerUI* manager, XmlEncoding encoding = XmlEncoding::Utf8);
    const CMarkup& GetMarkup() const { return markup_; }

    // The control for an element name the framework knows, or null.
    static CControlUI* CreateKnownControl(const std::wstring& elementName);

private:
    CControlUI* Parse(const XmlElement& parent, CControlUI* parentControl);

    CMarkup markup_;
    IDialogBuilderCallback* callback_ = nullptr;
    CPaintManagerUI* manager_ = nullptr;
};

}  // namespace SkinUI
