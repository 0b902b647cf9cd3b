# Runs "samba-tool domain join" for a second domain controller on a loopback address.
# Samba's join takes the new controller's addresses (for its DNS records) from the configured
# interfaces but skips loopback ones unless told to use all of them; here every configured
# interface counts. The password comes from the environment (PASSWD), never the command line.
import sys

import samba

_interface_ips = samba.interface_ips
samba.interface_ips = lambda lp, all_interfaces=False: _interface_ips(lp, True)

from samba.netcmd.main import cmd_sambatool  # noqa: E402

sys.exit(cmd_sambatool()._run("samba-tool", "domain", "join", *sys.argv[1:]))
