# Lays out the files of the second product in OUT/files: its program (a copy
# of the sample's, so that its icons resolve), a help file under another name
# in a sub-folder, folders with spaces, and a picture that stays stored.
file(REMOVE_RECURSE ${OUT}/files)
file(MAKE_DIRECTORY "${OUT}/files/docs/Getting Started" "${OUT}/files/samples/Blue Sky")
file(COPY_FILE ${STAGE}/VORLENN.EXE ${OUT}/files/zstudio.exe)
file(COPY_FILE ${STAGE}/vorlenn.hlp "${OUT}/files/docs/Zeltrane Manual.chm")
file(COPY_FILE "${STAGE}/templates/Night Sky/Moons/moon-07.png" "${OUT}/files/samples/Blue Sky/moon.png")
string(REPEAT "Zeltrane Studio draws what you tell it to.\n" 200 intro)
file(WRITE "${OUT}/files/docs/Getting Started/intro.txt" "${intro}")
file(COPY_FILE ${SOURCE}/product.toml ${OUT}/product.toml)
