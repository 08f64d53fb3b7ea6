# Installing and packaging. The programs go to bin/, everything the build lays out under
# <build>/share/kolvo (skins, demo songs, generated banks: whatever a generator puts there) to
# share/kolvo, where the programs look beside their own bin/; the desktop pieces come from
# src/res/desktop. `make install` runs `cmake --install`, `make deb` CPack's Debian generator.
install(DIRECTORY ${CMAKE_BINARY_DIR}/share/kolvo/ DESTINATION share/kolvo
        PATTERN stamp EXCLUDE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kolvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kolvo Developer <dev@kolvo.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "skinned multimedia player for music, MIDI, films and audio CDs")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kolvo stacks a Sound Effector, a Mixer, a CD Player, a Digital Audio Player, a MIDI Player
and a Digital Video Player in a narrow skinned strip, with albums and play lists, an Internet
CD database client, recording and CD copying, lyrics and karaoke, ID3 tags and printed album
reports. kolvo-cli does the same work from a terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# The libraries the programs link are found by dpkg-shlibdeps; what they load at run time
# (GStreamer's plugins, FluidSynth's library, opened with dlopen, which shlibdeps cannot see, and
# a General MIDI SoundFont) is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly, gstreamer1.0-libav, gstreamer1.0-pulseaudio, libfluidsynth3, timgm6mb-soundfont | sf2-soundfont-gm")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils, xdg-utils")
include(CPack)
