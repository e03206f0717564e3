# The hyperlink control; link_tool stands in for the associated browser and carries a link cursor.
add_executable(link_tool ${CMAKE_CURRENT_LIST_DIR}/link_tool.cpp ${CMAKE_CURRENT_LIST_DIR}/link_tool.rc)
target_compile_options(link_tool PRIVATE ${BRISKO_WARNINGS})
target_include_directories(link_tool PRIVATE ${CMAKE_CURRENT_LIST_DIR})

brisko_test(unit_link
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_static_test.cpp ${CMAKE_CURRENT_LIST_DIR}/link_launch_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/link_test_support.cpp ${CMAKE_CURRENT_LIST_DIR}/link_test.rc
  LIBS brisko_controls)
add_dependencies(unit_link link_tool)
# The test creates a .htm association in the shared sandbox; nothing else may click a link meanwhile.
set_tests_properties(unit_link PROPERTIES RESOURCE_LOCK sandbox_htm_association)
