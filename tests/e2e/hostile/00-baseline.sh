# The reference run: an ordinary environment, old junk on D: and in the user's
# temporary folder goes, a document stays, the canary stays.
hostile_reset
h_old "$H_D/work/draft.bak"
h_old "$H_TEMP/setup/data.bin"
h_old "$H_D/docs/report.doc"
hostile_auto
e2e_check "baseline: /auto ends by itself with 0 (got $H_RC)" [ "$H_RC" = 0 ]
e2e_check "baseline: automatic mode shown in the caption" grep -qxF 'Vantrel (自动模式)' <<<"$H_CAPTIONS"
e2e_check "baseline: old junk taken" test ! -e "$H_D/work/draft.bak" -a ! -e "$H_TEMP/setup/data.bin"
e2e_check "baseline: the document stays" test -e "$H_D/docs/report.doc"
e2e_check "baseline: the canary stays" hostile_canary_intact
