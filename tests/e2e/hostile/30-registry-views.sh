# 32-bit products register below HKEY_LOCAL_MACHINE\Software in the 32-bit
# registry view (Wow6432Node), which the 64-bit program sees only when it asks:
# RealPlayer and the Oracle client installed that way make their actions appear
# (the settings file written at the end holds one CleanupItem per action offered).

RV_KEYS=('HKLM\Software\RealNetworks' 'HKLM\Software\Oracle')
rv_reg() { (cd "$E2E_C" && wine reg "$@" >/dev/null 2>&1); }
rv_item() { grep -qF "<CleanupItem Name=\"$1\"" "$H_SETTINGS_DIR/Vantrel.cfg"; }

rv_clean=1
for key in "${RV_KEYS[@]}"; do
    if rv_reg query "$key" /reg:32 || rv_reg query "$key" /reg:64; then rv_clean=0; fi
done
if [ "$rv_clean" = 1 ]; then
    hostile_reset
    rv_reg add 'HKLM\Software\RealNetworks\RealPlayer' /reg:32 /f
    rv_reg add 'HKLM\Software\Oracle' /reg:32 /f
    h_old "$H_D/oracle/network/log/sqlnet.log"
    hostile_auto
    e2e_check "32-bit registry view: /auto ends by itself with 0 (got $H_RC)" [ "$H_RC" = 0 ]
    e2e_check "32-bit registry view: the RealOne Player action is offered" rv_item '清除 RealOne Player 历史记录'
    e2e_check "32-bit registry view: the Oracle client action is offered" rv_item '删除 Oracle client 日志文件 (sqlnet.log)'
    e2e_check "32-bit registry view: the old Oracle client log is taken" test ! -e "$H_D/oracle/network/log/sqlnet.log"
    e2e_check "32-bit registry view: the canary stays" hostile_canary_intact
    for key in "${RV_KEYS[@]}"; do rv_reg delete "$key" /reg:32 /f; done
    hostile_reset
else
    e2e_fail "32-bit registry view: the product keys exist already in the sandbox"
fi
