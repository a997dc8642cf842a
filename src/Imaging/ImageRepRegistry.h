#pragma once
// ImageRepRegistry: the representation classes that can make a picture from encoded bytes.
//
// A decoding representation class registers itself once (the image representation does so
// when its codecs are bootstrapped). imageWithData() asks the classes, in registration order,
// which one accepts the bytes and answers a MultiImage holding its representation; that is how
// code that only wants "an image of these bytes" reaches every codec format. Qt's own image
// plug-ins are not consulted.
//
// Safe to use from any thread (one lock; the callbacks run outside it).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Imaging/ImageRep.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Value.h"

namespace vistel {

class ImageRepRegistry {
public:
    using Data = std::shared_ptr<const Value::Bytes>;

    struct ImageRepClass {
        std::string name;
        std::function<bool(const Data&)> canInitWithData;
        // The representation of the bytes, null when they cannot be read.
        std::function<Ref<ImageRep>(const Data&)> imageRepWithData;
        // Extensions (both cases) and type identifiers the class reads.
        std::function<std::vector<std::string>()> imageUnfilteredFileTypes;
        std::function<std::vector<std::string>()> imageUnfilteredTypes;
    };

    // Adds a class; a class of the same name is replaced in its place.
    static void registerImageRepClass(ImageRepClass imageRepClass);
    static void unregisterImageRepClass(std::string_view name);
    static std::vector<std::string> registeredImageRepClassNames();

    // The first class that accepts the bytes; false when none does.
    static bool imageRepClassForData(const Data& data, ImageRepClass* out = nullptr);
    // The first class that reads the extension (any case) or type identifier.
    static bool imageRepClassForFileType(std::string_view extension, ImageRepClass* out = nullptr);
    static bool imageRepClassForType(std::string_view typeIdentifier, ImageRepClass* out = nullptr);

    // Every registered class's file types and types, in order, without duplicates.
    static std::vector<std::string> imageUnfilteredFileTypes();
    static std::vector<std::string> imageUnfilteredTypes();

    // A picture of the bytes with the first accepting class's representation; null when no
    // class accepts them or the representation cannot be made.
    static Ref<MultiImage> imageWithData(const Data& data);
};

} // namespace vistel
