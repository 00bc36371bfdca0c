// Reading a firmware package: an XML document whose root element holds "FirmwareFile"
// elements, each naming an image of the same folder by base name, in loading order.
#pragma once

#include <string>
#include <vector>

namespace flashwright {

// The texts of the "FirmwareFile" children of the root of `text`, in document order, as they
// stand (white space kept). Empty when the text is not well-formed or names nothing.
std::vector<std::string> ListPackageImages(const char* text);

// Reads the package `base_name` of `folder` whole and lists its images. A package that cannot
// be read lists nothing.
std::vector<std::string> ReadPackage(const std::string& folder, const std::string& base_name);

}  // namespace flashwright
