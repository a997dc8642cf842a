#pragma once
// ZovClass: the class descriptor that the translator walks.
//
// Texts are translated per class and method, and a text not translated for a class is looked
// up under its superclasses. C++ has no class reflection, so every class whose texts are
// translated declares the class name its texts are keyed by, and its superclass, with one of
// the macros below; the translation call-site macros (ZovTranslatorManager.h) then pass the
// object's dynamic class. The walk ends at the root descriptor "NSObject", which has no texts of its own.
//
// A class that takes the place of a platform class for the whole process answers its own
// name as `originalClassName`, so that its texts are found under that name. Subclasses
// inherit that answer, as they would inherit the method.
//
// Descriptors are immutable, live for the whole run and may be read from any thread.
//
//   class BrowserPanel : public PanelBase {
//       ZOV_CLASS(BrowserPanel, PanelBase)   // PanelBase declares ZOV_ROOT_CLASS / ZOV_CLASS too
//   ...
//   class Preferences {                      // a root class (superclass NSObject)
//       ZOV_ROOT_CLASS(Preferences)
//   ...

#include <string_view>

namespace vistel {

class ZovClass {
public:
    // `name` and `originalClassName` must outlive the descriptor (string literals).
    constexpr ZovClass(const char* name, const ZovClass* superclass, const char* originalClassName = nullptr)
        : name_(name)
        , superclass_(superclass)
        , originalClassName_(originalClassName ? originalClassName
                                               : (superclass ? superclass->originalClassName_ : nullptr))
    {
    }
    ZovClass(const ZovClass&) = delete;
    ZovClass& operator=(const ZovClass&) = delete;

    std::string_view name() const noexcept { return name_; }
    const ZovClass* superclass() const noexcept { return superclass_; }
    bool respondsToOriginalClassName() const noexcept { return originalClassName_ != nullptr; }
    // The class's `originalClassName` answer; its own name when it has none.
    std::string_view originalClassName() const noexcept { return originalClassName_ ? originalClassName_ : name_; }
    bool isRoot() const noexcept { return this == &nsObject(); }

    // The root of every hierarchy ("NSObject").
    static const ZovClass& nsObject() noexcept;

private:
    const char* name_;
    const ZovClass* superclass_;
    const char* originalClassName_;
};

} // namespace vistel

#define ZOV_DETAIL_CLASS_DESCRIPTOR(Name, superPointer, original)                           \
public:                                                                                     \
    static const ::vistel::ZovClass& staticZovClass() noexcept                              \
    {                                                                                       \
        static const ::vistel::ZovClass descriptor(#Name, (superPointer), (original));      \
        return descriptor;                                                                  \
    }

// The first translated class of a C++ hierarchy (its texts' superclass is NSObject, or a
// platform class that has no texts of its own). Declares a virtual zovClass() and leaves the access
// level public.
#define ZOV_ROOT_CLASS(Name)                                                                \
    ZOV_DETAIL_CLASS_DESCRIPTOR(Name, &::vistel::ZovClass::nsObject(), nullptr)             \
    virtual const ::vistel::ZovClass& zovClass() const noexcept { return staticZovClass(); }

// A translated class whose C++ base `Super` declares ZOV_ROOT_CLASS or ZOV_CLASS.
#define ZOV_CLASS(Name, Super)                                                              \
    ZOV_DETAIL_CLASS_DESCRIPTOR(Name, &Super::staticZovClass(), nullptr)                    \
    const ::vistel::ZovClass& zovClass() const noexcept override { return staticZovClass(); }

// As ZOV_ROOT_CLASS / ZOV_CLASS, for a class that answers `originalClassName` with `original`.
#define ZOV_ROOT_CLASS_WITH_ORIGINAL_NAME(Name, original)                                   \
    ZOV_DETAIL_CLASS_DESCRIPTOR(Name, &::vistel::ZovClass::nsObject(), original)            \
    virtual const ::vistel::ZovClass& zovClass() const noexcept { return staticZovClass(); }
#define ZOV_CLASS_WITH_ORIGINAL_NAME(Name, Super, original)                                 \
    ZOV_DETAIL_CLASS_DESCRIPTOR(Name, &Super::staticZovClass(), original)                   \
    const ::vistel::ZovClass& zovClass() const noexcept override { return staticZovClass(); }
