# Gives a domain provisioned without DNS its DNS partitions and zone records, so that Samba's
# internal DNS server can serve the zone. Run offline (server stopped) by testdomain.sh dns.
#
# Samba's own upgrade tool does this, but it takes the host address from the configured
# interfaces and skips loopback ones, so on a loopback test address it finds none. The address
# comes from ARV_ADDR instead; everything else is the tool's own work.
import os
import runpy
import sys

import samba.provision

conf = sys.argv[1]
addr = os.environ["ARV_ADDR"]
samba.provision.interface_ips_v4 = lambda lp, all_interfaces=False: [addr]
samba.provision.interface_ips_v6 = lambda lp: []
sys.argv = ["samba_upgradedns", "-s", conf, "--dns-backend=SAMBA_INTERNAL"]
runpy.run_path("/usr/sbin/samba_upgradedns", run_name="__main__")
