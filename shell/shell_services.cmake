# The services of the application shell that the subsystems may use (no Qt): the header and
# the one instance of the process.
add_library(fw_shell_services STATIC shell_services.cpp)
target_link_libraries(fw_shell_services PUBLIC fw_options fw_discovery)
set_target_properties(fw_shell_services PROPERTIES AUTOMOC OFF AUTOUIC OFF)
