# The XML DOM of the sibling product's configuration files: MSXML over COM on Windows, pugixml
# on Linux.
if(WIN32)
  add_library(fw_platform_xml STATIC win32/xml_dom_msxml.cpp)
  target_link_libraries(fw_platform_xml PUBLIC fw_options PRIVATE ole32 oleaut32)
else()
  find_package(pugixml REQUIRED)
  add_library(fw_platform_xml STATIC posix/xml_dom_pugixml.cpp)
  if(TARGET pugixml::pugixml)
    target_link_libraries(fw_platform_xml PUBLIC fw_options PRIVATE pugixml::pugixml)
  else()
    target_link_libraries(fw_platform_xml PUBLIC fw_options PRIVATE pugixml)
  endif()
endif()
