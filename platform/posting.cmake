# Registered messages and posted heap records between worker threads and their front ends.
find_package(Threads REQUIRED)
add_library(fw_posted_messages STATIC posted_messages.cpp)
target_link_libraries(fw_posted_messages PUBLIC fw_options Threads::Threads)

if(NOT FLASHWRIGHT_FUZZ)
  fw_add_test(posted_messages_test SOURCES tests/posted_messages_test.cpp LIBS fw_posted_messages)
endif()
