# Installation layout and the Debian package (`cpack` in the build folder writes
# lorowen-pro_<version>_amd64.deb there).
#
#   /usr/lib/lorowen-pro/{lorowen,lorowen-cli}   the programs (app/CMakeLists.txt)
#   /usr/lib/lorowen-pro/helpers/whisper-cli     a portable build, found beside the programs
#   /usr/lib/lorowen-pro/helpers/whisper-cli-vulkan  its graphics-card (Vulkan) variant
#   /usr/bin/{lorowen,lorowen-cli}               symbolic links to the programs
#   /usr/share/applications, icons, metainfo     desktop entry, icon, AppStream metadata
#   /usr/share/doc/lorowen-pro                   copyright and changelog

include(GNUInstallDirs)

option(LOROWEN_BUNDLE_WHISPER "Install a portable whisper-cli into the helpers folder" ON)

set(LOROWEN_PACKAGE_NAME lorowen-pro)
set(LOROWEN_LIBEXEC lib/lorowen-pro)

foreach(program lorowen lorowen-cli)
    install(CODE "
        set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(MAKE_DIRECTORY \"\${bin}\")
        file(CREATE_LINK \"../${LOROWEN_LIBEXEC}/${program}\" \"\${bin}/${program}\" SYMBOLIC)
    ")
endforeach()

if(LOROWEN_BUNDLE_WHISPER)
    # Built once with -DGGML_NATIVE=OFF and cached outside the build folder; copied and
    # stripped here when installing.
    set(helpers_stage ${CMAKE_BINARY_DIR}/package-helpers)
    install(CODE "
        execute_process(COMMAND \"${PROJECT_SOURCE_DIR}/scripts/build-whisper-cli\" --portable
                                \"${helpers_stage}\" RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR \"the portable whisper-cli could not be built\")
        endif()
        execute_process(COMMAND strip --strip-unneeded \"${helpers_stage}/whisper-cli\")
        if(EXISTS \"${helpers_stage}/whisper-cli-vulkan\")
            execute_process(COMMAND strip --strip-unneeded \"${helpers_stage}/whisper-cli-vulkan\")
        endif()
    ")
    install(PROGRAMS ${helpers_stage}/whisper-cli DESTINATION ${LOROWEN_LIBEXEC}/helpers)
    # Built only where the Vulkan headers and shader compiler are installed.
    install(PROGRAMS ${helpers_stage}/whisper-cli-vulkan DESTINATION ${LOROWEN_LIBEXEC}/helpers
            OPTIONAL)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/com.brindlecote.lorowenpro.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian wants the changelog compressed with gzip -9n (no timestamp in the header).
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${LOROWEN_PACKAGE_NAME})
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
install(CODE "
    execute_process(COMMAND gzip -9nc \"${CMAKE_BINARY_DIR}/changelog\"
                    OUTPUT_FILE \"${CMAKE_BINARY_DIR}/changelog.gz\")
")
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${doc_dir})

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${LOROWEN_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brindlecote")
set(CPACK_PACKAGE_CONTACT "Brindlecote <packages@brindlecote.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "timed captions from the speech in video and audio files")
set(CPACK_PACKAGE_DESCRIPTION
    "BRCT Lorowen Pro turns the speech in a video or audio file into timed\n\
captions with whisper.cpp, PocketSphinx or a cloud service, lets you edit\n\
them, and exports SRT, VTT or plain text, a video with the captions burned\n\
in, an MP4 or MOV with a subtitle track, or a spoken voiceover.")
set(CPACK_PACKAGE_FILE_NAME "${LOROWEN_PACKAGE_NAME}_${PROJECT_VERSION}_amd64")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brindlecote.example/lorowen")
# The Debian 12 runtime: the shared libraries the programs link, the Qt platform and media
# plugins, the ffmpeg program (conversion), the English acoustic model, the spelling library,
# the caption fonts, and the Vulkan loader the graphics-card whisper-cli starts with (drivers are
# recommended: without one Whisper runs on the processor).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, \
libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6network6 (>= 6.4), \
libqt6dbus6 (>= 6.4), libqt6svg6 (>= 6.4), libqt6multimedia6 (>= 6.4), qt6-qpa-plugins, \
libavcodec59, libavformat59, libavutil57, libswresample4, ffmpeg, \
libpocketsphinx3, libsphinxbase3, pocketsphinx-en-us, \
libqt6keychain1, libfftw3-single3, libssl3, libnuspell5, \
gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, \
fonts-dejavu-core, fonts-liberation2, fonts-urw-base35, libvulkan1")
# A spelling dictionary for the caption editor (any language's will do), and a Vulkan driver.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring, hunspell-en-us | hunspell-dictionary, mesa-vulkan-drivers")
include(CPack)
