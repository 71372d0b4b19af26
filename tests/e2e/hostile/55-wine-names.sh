# Unix names no Windows name can hold, as Wine lists them: a folder named
# "..\..\..\vt-names" inside the temporary folder would lead the walk (and the
# deletion) back up into the profile, "..\..\.." would re-enter the drive without
# end, and a name with bytes that are not UTF-8 shows with U+FFFD, which leads
# to another file of that very name.
hostile_reset
rm -rf "$H_PROFILE/vt-names"
h_old "$H_PROFILE/vt-names/x.dat"
mkdir -p "$H_PROFILE/vt-names/empty-sub"
mkdir -p "$H_TEMP/..\\..\\..\\vt-names/empty-sub"
h_old "$H_TEMP/..\\..\\..\\vt-names/x.dat"
mkdir -p "$H_TEMP/..\\..\\.."
h_old "$H_TEMP/..\\..\\../loop.tmp"
h_old "$H_TEMP/plain/old.tmp"
h_old "$H_D/names/"$'bad\xff.tmp'
h_young "$H_D/names/bad"$'\xef\xbf\xbd'".tmp"
touch -d '60 seconds ago' "$H_D/names/bad"$'\xef\xbf\xbd'".tmp"
hostile_auto
e2e_check "names: /auto ends by itself with 0 (got $H_RC)" [ "$H_RC" = 0 ]
e2e_check "names: the profile's folder reached through \"..\\\" names stays, files and empty folder" \
    test -e "$H_PROFILE/vt-names/x.dat" -a -d "$H_PROFILE/vt-names/empty-sub"
e2e_check "names: the folders with backslash names are neither entered nor emptied" \
    test -e "$H_TEMP/..\\..\\..\\vt-names/x.dat" -a -e "$H_TEMP/..\\..\\../loop.tmp"
e2e_check "names: ordinary temporary junk still goes" test ! -e "$H_TEMP/plain/old.tmp"
e2e_check "names: the young file named with U+FFFD stays" test -e "$H_D/names/bad"$'\xef\xbf\xbd'".tmp"
e2e_check "names: the file whose name is not UTF-8 stays" test -e "$H_D/names/"$'bad\xff.tmp'
e2e_check "names: the canary stays" hostile_canary_intact
rm -rf "$H_PROFILE/vt-names"
