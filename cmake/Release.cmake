# What a release holds, and how it is made the same way every time.
#
# Native builds: `cmake --install` puts vellix, torbel and zolpcli in bin/, their reference in
# share/doc/diagmedia/ and as the man pages vellix.1 and torbel.1, which are generated from
# that same reference (README.md and docs/) so that the two never drift.
# Windows builds: `cmake --build <build> --target package` makes the release archive (a ZIP
# named after ZOLP.exe's file version) with ZOLP.exe, zolpcli.exe, vellix.exe, torbel.exe, the README as
# text and the sample package.
include(GNUInstallDirs)

set(DIAG_DOCS ${PROJECT_SOURCE_DIR}/docs)

if(NOT WIN32)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(man_dir ${CMAKE_BINARY_DIR}/man)
  set(md2man ${PROJECT_SOURCE_DIR}/cmake/md2man.py)
  # page, summary, then the reference sections it is made of
  set(man_vellix "builds bootable FAT12/FAT16 and ISO 9660 images of a diagnostics package"
      ${DIAG_DOCS}/man/vellix.md "${PROJECT_SOURCE_DIR}/README.md#vellix: the image builder" ${DIAG_DOCS}/vellix-iso.md)
  set(man_torbel "the shell of the hidden FAT16 utility partition"
      ${DIAG_DOCS}/man/torbel.md "${PROJECT_SOURCE_DIR}/README.md#torbel: the partition shell" ${DIAG_DOCS}/torbel.md
      ${DIAG_DOCS}/torbel-disk.md)
  set(man_zolpcli "makes USB sticks, images and ISOs of a diagnostics package, several sticks at once"
      "${PROJECT_SOURCE_DIR}/README.md#zolpcli: the front end on the command line")
  set(man_pages)
  foreach(tool vellix torbel zolpcli)
    if(NOT TARGET ${tool})
      continue()
    endif()
    list(POP_FRONT man_${tool} summary)
    set(sources)
    foreach(source ${man_${tool}})
      string(REGEX REPLACE "#.*" "" file "${source}")
      list(APPEND sources ${file})
    endforeach()
    add_custom_command(
      OUTPUT ${man_dir}/${tool}.1
      COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
      COMMAND Python3::Interpreter ${md2man} ${man_dir}/${tool}.1 ${tool} ${summary}
              ${PROJECT_VERSION} ${man_${tool}}
      DEPENDS ${md2man} ${sources}
      COMMENT "Writing the manual page ${tool}.1"
      VERBATIM)
    list(APPEND man_pages ${man_dir}/${tool}.1)
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endforeach()
  add_custom_target(manpages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${DIAG_DOCS}/linux.md ${DIAG_DOCS}/torbel.md
                ${DIAG_DOCS}/torbel-disk.md ${DIAG_DOCS}/vellix-iso.md ${DIAG_DOCS}/boot.md
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # The sample package, whole, and its boot files on their own for a package of one's own:
  # share/diagmedia/package and share/diagmedia/boot.
  if(SAMPLE_PACKAGE_DIR)
    # Session logs of torbel runs in the package (docs/linux.md has some) are no part of it.
    install(DIRECTORY ${SAMPLE_PACKAGE_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/diagmedia/package
            PATTERN torbel.log EXCLUDE)
    install(FILES ${SAMPLE_PACKAGE_DIR}/MBR.BIN ${SAMPLE_PACKAGE_DIR}/BOOTSECT.BIN ${SAMPLE_PACKAGE_DIR}/ORVOBOOT.SYS
            DESTINATION ${CMAKE_INSTALL_DATADIR}/diagmedia/boot)
    if(SAMPLE_EFI_LOADER)
      install(FILES ${SAMPLE_PACKAGE_DIR}/EFI/BOOT/BOOTX64.EFI DESTINATION ${CMAKE_INSTALL_DATADIR}/diagmedia/boot)
    endif()
  endif()
  return()
endif()

# The Windows release archive. The README travels as README.txt with Windows line ends, so
# that Notepad shows it as it is.
if(NOT TARGET ZOLP)
  return()
endif()
file(STRINGS ${PROJECT_SOURCE_DIR}/frontend/app/ZOLP.rc zolp_version REGEX "^ *FILEVERSION ")
string(REGEX REPLACE "^ *FILEVERSION *([0-9]+),([0-9]+),([0-9]+),([0-9]+).*" "\\1.\\2.\\3.\\4"
       zolp_version "${zolp_version}")
set(readme_txt ${CMAKE_BINARY_DIR}/README.txt)
file(READ ${PROJECT_SOURCE_DIR}/README.md readme)
string(REPLACE "\r\n" "\n" readme "${readme}")
string(REPLACE "\n" "\r\n" readme "${readme}")
set(old_readme "")
if(EXISTS ${readme_txt})
  file(READ ${readme_txt} old_readme)
endif()
if(NOT old_readme STREQUAL readme)
  file(WRITE ${readme_txt} "${readme}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)

install(TARGETS ZOLP zolpcli vellix torbel RUNTIME DESTINATION .)
install(FILES ${readme_txt} DESTINATION .)
if(SAMPLE_PACKAGE_DIR)
  install(DIRECTORY ${SAMPLE_PACKAGE_DIR}/ DESTINATION package)
endif()

# Every file in the archive carries one time, so that the ZIP itself comes out the same byte
# for byte: SOURCE_DATE_EPOCH as it is when the archive is made, else the time of the commit
# configured, else 1980-01-01 (the first time a ZIP entry can hold).
execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                OUTPUT_VARIABLE commit_epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE git_status ERROR_QUIET)
if(NOT git_status EQUAL 0 OR NOT commit_epoch MATCHES "^[0-9]+$")
  set(commit_epoch 315532800)
endif()
install(CODE "
  set(epoch \"\$ENV{SOURCE_DATE_EPOCH}\")
  if(NOT epoch MATCHES \"^[0-9]+$\")
    set(epoch ${commit_epoch})
  endif()
  execute_process(COMMAND find \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\" -exec
                          touch -h -d @\${epoch} {} +
                  RESULT_VARIABLE touched)
  if(NOT touched EQUAL 0)
    message(FATAL_ERROR \"could not set the archive's file times\")
  endif()")

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(archive_arch win64)  # the test build's archive, never shipped
else()
  set(archive_arch win32)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ZOLP)
set(CPACK_PACKAGE_VERSION ${zolp_version})
set(CPACK_PACKAGE_FILE_NAME ZOLP-${zolp_version}-${archive_arch})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/release)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES OFF)  # the Release programs are linked stripped already
include(CPack)
