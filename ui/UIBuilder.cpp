#include "UIBuilder.h"

#include "UIManager.h"
#include "UIText.h"

#include <memory>

namespace SkinUI {

CControlUI* CDialogBuilder::CreateKnownControl(const std::wstring& elementName) {
    const std::wstring name = ToUpper(elementName);
    if (name == L"CONTROL") {
        return new CControlUI;
    }
    if (name == L"LABEL") {
        return new CLabelUI;
    }
    if (name == L"BUTTON") {
        return new CButtonUI;
    }
    if (name == L"OPTION") {
        return new COptionUI;
    }
    if (name == L"EDIT") {
        return new CEditUI;
    }
    if (name == L"PROGRESS") {
        return new CProgressUI;
    }
    if (name == L"CONTAINER") {
        return new CContainerUI;
    }
    if (name == L"VERTICALLAYOUT") {
        return new CVerticalLayoutUI;
    }
    if (name == L"HORIZONTALLAYOUT") {
        return new CHorizontalLayoutUI;
    }
    if (name == L"TABLAYOUT") {
        return new CTabLayoutUI;
    }
    return nullptr;
}

CControlUI* CDialogBuilder::Create(const std::wstring& description, IDialogBuilderCallback* callback,
                                   CPaintManagerUI* manager, XmlEncoding encoding) {
    callback_ = callback;
    manager_ = manager;
    bool loaded = !description.empty() && description[0] == L'<'
                      ? markup_.Load(description)
                      : markup_.LoadFromFile(description, CPaintManagerUI::GetResourcePath(),
                                             CPaintManagerUI::GetResourceZip(), encoding);
    if (!loaded) {
        return nullptr;
    }
    const XmlElement& root = markup_.Root();
    if (manager_ != nullptr && EqualsNoCase(root.name, L"Window")) {
        for (const XmlAttribute& attribute : root.attributes) {
            manager_->SetWindowAttribute(attribute.name, attribute.value);
        }
    }
    return Parse(root, nullptr);
}

CControlUI* CDialogBuilder::Parse(const XmlElement& parent, CControlUI* parentControl) {
    CControlUI* first = nullptr;
    auto* container = dynamic_cast<CContainerUI*>(parentControl);
    for (const XmlElement& element : parent.children) {
        const std::wstring& elementName = element.name;
        if (EqualsNoCase(elementName, L"Font")) {
            if (manager_ == nullptr) {
                continue;
            }
            int id = -1;
            std::wstring face;
            int size = 12;
            bool bold = false, underline = false, italic = false, isDefault = false;
            for (const XmlAttribute& a : element.attributes) {
                if (a.name == L"id") {
                    id = ParseInt(a.value);
                } else if (a.name == L"name") {
                    face = a.value;
                } else if (a.name == L"size") {
                    size = ParseInt(a.value);
                } else if (a.name == L"bold") {
                    bold = ParseBool(a.value);
                } else if (a.name == L"underline") {
                    underline = ParseBool(a.value);
                } else if (a.name == L"italic") {
                    italic = ParseBool(a.value);
                } else if (a.name == L"default") {
                    isDefault = ParseBool(a.value);
                }
            }
            if (id >= 0) {
                manager_->AddFont(id, face, size, bold, underline, italic);
            }
            if (isDefault) {
                manager_->SetDefaultFont(face, size, bold, underline, italic);
            }
            continue;
        }
        if (EqualsNoCase(elementName, L"Image")) {
            if (manager_ == nullptr) {
                continue;
            }
            std::wstring name, type;
            DWORD mask = 0;
            for (const XmlAttribute& a : element.attributes) {
                if (a.name == L"name") {
                    name = a.value;
                } else if (a.name == L"restype") {
                    type = a.value;
                } else if (a.name == L"mask") {
                    mask = ParseColor(a.value);
                }
            }
            if (!name.empty()) {
                manager_->AddImage(name, type, mask);
            }
            continue;
        }
        if (EqualsNoCase(elementName, L"Default")) {
            if (manager_ == nullptr) {
                continue;
            }
            std::wstring name, value;
            for (const XmlAttribute& a : element.attributes) {
                if (a.name == L"name") {
                    name = a.value;
                } else if (a.name == L"value") {
                    value = a.value;
                }
            }
            if (!name.empty()) {
                manager_->AddDefaultAttributeList(name, value);
            }
            continue;
        }

        std::unique_ptr<CControlUI> control(CreateKnownControl(elementName));
        if (!control && callback_ != nullptr) {
            control.reset(callback_->CreateControl(elementName));
        }
        if (!control) {
            continue;
        }
        if (!element.children.empty()) {
            Parse(element, control.get());
        }
        CControlUI* raw = control.get();
        if (container != nullptr) {
            container->Add(control.release());
        } else if (parentControl == nullptr && first == nullptr) {
            raw->SetManager(manager_, nullptr);
            first = control.release();
        } else {
            // A control element inside a non-container (or a second root) has nowhere to go.
            continue;
        }
        if (manager_ != nullptr) {
            std::wstring defaults = manager_->GetDefaultAttributeList(elementName);
            if (!defaults.empty()) {
                raw->ApplyAttributeList(defaults);
            }
        }
        for (const XmlAttribute& attribute : element.attributes) {
            raw->SetAttribute(attribute.name, attribute.value);
        }
        if (first == nullptr) {
            first = raw;
        }
    }
    return first;
}

}  // namespace SkinUI
