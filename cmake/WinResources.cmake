# Windows builds: each console program carries its version resource. The islands'
# CMakeLists stay platform-neutral; the resource scripts live next to them in res/.
foreach(tool vellix torbel)
  if(TARGET ${tool})
    if(tool STREQUAL vellix)
      set(island imagebuilder)
    else()
      set(island partshell)
    endif()
    target_sources(${tool} PRIVATE ${PROJECT_SOURCE_DIR}/${island}/res/${tool}.rc)
  endif()
endforeach()
