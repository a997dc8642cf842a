#include "Common/XML/XMLDocumentID.h"

#include <charconv>
#include <cmath>

#include "Common/FileSystem/FNSubscribeFileObserver.h"
#include "Common/FileSystem/NSFileManagerLeopardCompatibility.h"
#include "Platform/FileOperations/FileTree.h"

namespace vistel {

namespace {

// The shortest text that reads back as `number` ("800", "7.5").
std::string numberText(double number)
{
    if (!std::isfinite(number))
        return "0";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
}

// The number at the start of `text` after leading white space; 0 when there is none.
float leadingFloat(const std::string& text)
{
    std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos)
        return 0;
    if (text[start] == '+')
        ++start;
    float value = 0;
    const auto result = std::from_chars(text.data() + start, text.data() + text.size(), value);
    return result.ec == std::errc() && std::isfinite(value) ? value : 0;
}

} // namespace

std::string XMLDocumentID::filePath(std::string_view folder, std::optional<std::string_view> fileName)
{
    return joinPath(std::string(folder), std::string(fileName.value_or(DefaultFileName)));
}

std::unique_ptr<XMLDocumentID> XMLDocumentID::createWithXMLFile(std::string_view folder,
                                                                std::optional<std::string_view> fileName)
{
    std::unique_ptr<XMLDocumentID> document(new XMLDocumentID());
    if (document->ReadXMLFile(filePath(folder, fileName)) != XMLResult::Done)
        return nullptr;
    return document;
}

std::unique_ptr<XMLDocumentID> XMLDocumentID::createWithParameters(const std::optional<std::string>& deviceId,
                                                                   const std::optional<std::string>& displayName,
                                                                   std::optional<double> width,
                                                                   std::optional<double> height,
                                                                   const std::optional<std::string>& frameSize)
{
    if (!deviceId)
        return nullptr;
    auto xml = std::make_shared<pugi::xml_document>();
    pugi::xml_node declaration = xml->append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = xml->append_child("vistel-dpf-id");
    auto addElement = [&](const char* name, const std::string& text) {
        pugi::xml_node element = root.append_child(name);
        if (!text.empty())
            element.append_child(pugi::node_pcdata).set_value(text.c_str());
    };
    addElement("vistel-id", *deviceId);
    addElement("displayname", displayName.value_or("Empty name"));
    addElement("framesize", frameSize.value_or(""));
    addElement("width", numberText(width.value_or(0)));
    addElement("height", numberText(height.value_or(0)));

    std::unique_ptr<XMLDocumentID> document(new XMLDocumentID());
    document->setXMLDocument(std::move(xml));
    return document;
}

std::int32_t XMLDocumentID::saveToFile(std::string_view folder, std::optional<std::string_view> fileName) const
{
    return XMLFrameManager::saveToFile(filePath(folder, fileName));
}

std::int32_t XMLDocumentID::removeFile(std::string_view folder, std::optional<std::string_view> fileName)
{
    // A failed delete is not reported: the file then marks the volume as a frame again at
    // its next mount.
    NSFileManagerLeopardCompatibility::removeItemAtPathExt(filePath(folder, fileName));
    NSWorkspaceChanges::noteFileSystemChanged(folder);
    return XMLResult::Done;
}

std::optional<std::string> XMLDocumentID::getKeyValueByName(std::string_view name) const
{
    const XMLDocumentPtr& document = getXMLDocument();
    if (!document || name.empty())
        return std::nullopt;
    // The name is compared as data, never spliced into the query text.
    pugi::xpath_variable_set variables;
    variables.set("name", std::string(name).c_str());
    try {
        const pugi::xpath_query query("(//*[name() = $name])[1]", &variables);
        const pugi::xpath_node hit = query.evaluate_node(*document);
        if (!hit.node())
            return std::nullopt;
        return xmlStringValue(hit.node());
    } catch (const pugi::xpath_exception&) {
        return std::nullopt;
    }
}

XMLDocumentID::Resolution XMLDocumentID::getResolution() const
{
    return {leadingFloat(getKeyValueByName("width").value_or("")), leadingFloat(getKeyValueByName("height").value_or(""))};
}

} // namespace vistel
