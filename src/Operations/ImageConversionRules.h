#pragma once
// Resize and rename rules of a conversion batch.
//
// A batch is told how to size and how to name its output by rule objects placed in its
// options under kImageConvertorResizeOperatorKey and kImageConvertorRenameOperatorKey
// (ImageConvertor.h). A resize rule turns the upright source size into the output size (and,
// for print sizes, the output resolution); a rename rule turns the planned output file name of
// the n-th file of a batch into its new name.
//
// Arithmetic is in 32-bit floats; no rule rounds (the conversion takes the integer part of the
// width and height, at least one pixel).
//
// Thread rules: a rule is shared by every job of its batch, which run on several workers at
// once. Resize rules and the names-list rule only read their fields; the index, counter,
// sequence and date-time rules make each name under their own lock.

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

struct FloatSize {
    float width = 0;
    float height = 0;
    friend bool operator==(const FloatSize&, const FloatSize&) = default;
};

// A pixel size and its resolution (pixels per inch).
struct ImageSize {
    FloatSize size;
    FloatSize resolution {72, 72};
    friend bool operator==(const ImageSize&, const ImageSize&) = default;
};

// ---- Resize rules

class ImageResizeOperatorProtocol : public Object {
public:
    virtual ImageSize sizeFromSize(ImageSize source) const = 0;
};

// Fit rules of the pixel and print-size rules, used when the aspect is kept.
enum ImageResizeFit : int {
    ImageResizeFitWidth = 1,  // the height factor becomes the width factor
    ImageResizeFitHeight = 2, // the width factor becomes the height factor
    ImageResizeFitInside = 3, // both take the smaller factor
    ImageResizeFill = 4,      // both take the larger factor
};

// Directions of the pixel rule; any other value resizes both ways.
enum ImageResizeDirections : int {
    ImageResizeOnlyEnlarge = 1,
    ImageResizeOnlyReduce = 2,
};

// `percent` 100 keeps the size; `applyTo` 1 width only, 2 height only, anything else both.
class PercentageResizeOperator final : public ImageResizeOperatorProtocol {
public:
    static Ref<PercentageResizeOperator> create(float percent, int applyTo);
    ImageSize sizeFromSize(ImageSize source) const override;
    float percent() const { return percent_; }
    int applyTo() const { return applyTo_; }

private:
    PercentageResizeOperator(float percent, int applyTo) : percent_(percent), applyTo_(applyTo) { }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    float percent_;
    int applyTo_;
};

// The wanted size in pixels.
class PixelsResizeOperator final : public ImageResizeOperatorProtocol {
public:
    static Ref<PixelsResizeOperator> create(FloatSize sizeInPixels, int directions, bool preserveAspect, int fit);
    ImageSize sizeFromSize(ImageSize source) const override;
    FloatSize sizeInPixels() const { return sizeInPixels_; }
    int resizeDirections() const { return resizeDirections_; }
    bool preserveAspect() const { return preserveAspect_; }
    int fit() const { return fit_; }

private:
    PixelsResizeOperator(FloatSize size, int directions, bool preserveAspect, int fit)
        : sizeInPixels_(size), resizeDirections_(directions), preserveAspect_(preserveAspect), fit_(fit)
    {
    }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    FloatSize sizeInPixels_;
    int resizeDirections_;
    bool preserveAspect_;
    int fit_;
};

// The wanted print size in millimetres at `resolution` pixels per inch; the output carries that
// resolution.
class UnitsResizeOperator final : public ImageResizeOperatorProtocol {
public:
    static Ref<UnitsResizeOperator> create(FloatSize unitsSize, int resolution, bool preserveAspect, int fit);
    ImageSize sizeFromSize(ImageSize source) const override;
    FloatSize unitsSize() const { return unitsSize_; }
    int resolution() const { return resolution_; }
    bool preserveAspect() const { return preserveAspect_; }
    int fit() const { return fit_; }

private:
    UnitsResizeOperator(FloatSize size, int resolution, bool preserveAspect, int fit)
        : unitsSize_(size), resolution_(resolution), fit_(fit), preserveAspect_(preserveAspect)
    {
    }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    FloatSize unitsSize_;
    int resolution_;
    int fit_;
    bool preserveAspect_;
};

// ---- Rename rules

// The key of the rename metadata that holds the number of files of the batch.
inline constexpr const char* kImageRenameTotalKey = "total";

class ImageRenameOperatorProtocol : public Object {
public:
    // `name`: the planned output file name with its extension; `order`: the job's position in
    // its batch, from 1; `metadata`: a dictionary that may hold "total", or null. Answers the
    // new file name, or nullopt to keep the name.
    virtual std::optional<std::string> nameFromName(const std::string& name, int order, const Value& metadata) = 0;
};

// The names of a list: the first entry for order 1, the second for order 2 ... (the last entry
// beyond the list), whole; an empty list keeps the name. Save As passes a one-name list.
class NameFromNamesArray final : public ImageRenameOperatorProtocol {
public:
    static Ref<NameFromNamesArray> create(std::vector<std::string> names);
    std::optional<std::string> nameFromName(const std::string& name, int order, const Value& metadata) override;
    const std::vector<std::string>& objectsNamesArray() const { return objectsNamesArray_; }

private:
    explicit NameFromNamesArray(std::vector<std::string> names) : objectsNamesArray_(std::move(names)) { }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::vector<std::string> objectsNamesArray_;
};

// The rules below name a file base + suffix + "." + the incoming extension (no "." when the
// incoming name has none); the base is the rule's name, or the incoming name less its
// extension when the rule has none.
class NamedRenameOperator : public ImageRenameOperatorProtocol {
public:
    const std::optional<std::string>& name() const { return name_; }
    std::optional<std::string> nameFromName(const std::string& name, int order, const Value& metadata) override;

protected:
    explicit NamedRenameOperator(std::optional<std::string> name) : name_(std::move(name)) { }
    // The suffix for the call, made under lock_.
    virtual std::string suffixLocked(int order, const Value& metadata) = 0;
    std::optional<std::string> name_;
    std::mutex lock_;
};

// " <order + startingIndex - 1>": "beach 3.JPG".
class NameWithIndexRenameOperator final : public NamedRenameOperator {
public:
    static Ref<NameWithIndexRenameOperator> create(std::optional<std::string> name, int startingIndex);
    int startingIndex() const { return startingIndex_; }

private:
    NameWithIndexRenameOperator(std::optional<std::string> name, int index)
        : NamedRenameOperator(std::move(name)), startingIndex_(index)
    {
    }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::string suffixLocked(int order, const Value& metadata) override;
    int startingIndex_;
};

// " <order + startingIndex - 1>" with leading zeros: as many digits as the largest number of
// the batch needs ("total" + startingIndex), or 4 without "total"; fixed at the first name.
class NameWithCounterRenameOperator final : public NamedRenameOperator {
public:
    static Ref<NameWithCounterRenameOperator> create(std::optional<std::string> name, int startingIndex);
    int startingIndex() const { return startingIndex_; }
    // The number of digits; -1 until the first name was made.
    int order() const;

private:
    NameWithCounterRenameOperator(std::optional<std::string> name, int index)
        : NamedRenameOperator(std::move(name)), startingIndex_(index)
    {
    }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::string suffixLocked(int order, const Value& metadata) override;
    int startingIndex_;
    int order_ = -1;
};

// " (<order + startingIndex - 1> of <total>)": "Trip (5 of 12).jpg".
class NameWithSequenceRenameOperator final : public NamedRenameOperator {
public:
    static Ref<NameWithSequenceRenameOperator> create(std::optional<std::string> name, int startingIndex);
    int startingIndex() const { return startingIndex_; }

private:
    NameWithSequenceRenameOperator(std::optional<std::string> name, int index)
        : NamedRenameOperator(std::move(name)), startingIndex_(index)
    {
    }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::string suffixLocked(int order, const Value& metadata) override;
    int startingIndex_;
};

// " <local date and time>" in the pattern "dd:MM:yyyy HH.mm.ss.mmm". Two files named in the
// same second get the same name; the batch's clash handling gives the second a unique one.
class NameWithDateTimeRenameOperator final : public NamedRenameOperator {
public:
    static Ref<NameWithDateTimeRenameOperator> create(std::optional<std::string> name);
    // The stamp of a moment (milliseconds since 1970), in the local time zone.
    static std::string stampForTime(double millisecondsSince1970);

private:
    explicit NameWithDateTimeRenameOperator(std::optional<std::string> name) : NamedRenameOperator(std::move(name)) { }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::string suffixLocked(int order, const Value& metadata) override;
};

} // namespace vistel
