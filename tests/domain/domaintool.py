#!/usr/bin/python3
"""Offline work on the test domain's database (the server must be stopped).

Called by testdomain.sh:  domaintool.py --conf SMB_CONF <command> [args]
  schema LDIF      extend the schema with the Exchange attributes and classes
  base             set the administrator password and the domain policies
  spn              give the DC account the SPNs for the current address
  seed             write the deterministic seed (seed.py)
  large N          add N users for benchmarks
Passwords come from the environment (ARV_ADMIN_PASSWORD, ...), never from the command line.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

import ldb
import samba
from samba.auth import system_session
from samba.param import LoadParm
from samba.samdb import SamDB


def open_db(conf):
    lp = LoadParm()
    lp.load(conf)
    url = os.path.join(lp.get("private dir"), "sam.ldb")
    # No fsync per transaction: the folder is throw-away test data, and syncing is what makes
    # entry-by-entry seeding slow.
    db = SamDB(url=url, lp=lp, session_info=system_session(), flags=ldb.FLG_NOSYNC)
    return db, lp


def load_schema(conf, ldif_path):
    db, lp = open_db(conf)
    base = str(db.domain_dn())
    del db
    text = open(ldif_path, encoding="utf-8").read().replace("@BASE_DN@", base)
    # Split at the schemaUpdateNow records; the dynamic distribution list class refers to the
    # auxiliary classes before it and so goes into a run of its own.
    update_now = re.compile(r"^dn:\s*\nchangetype: modify\nadd: schemaUpdateNow\nschemaUpdateNow: 1\n-\n",
                            re.M)
    parts = [p for p in update_now.split(text) if "dn:" in p]
    ddl = "dn: CN=ms-Exch-Dynamic-Distribution-List,"
    split = []
    for p in parts:
        if ddl in p:
            i = p.index(ddl)
            split += [p[:i], p[i:]]
        else:
            split.append(p)
    url = os.path.join(lp.get("private dir"), "sam.ldb")
    for n, part in enumerate(split, 1):
        with tempfile.NamedTemporaryFile("w", suffix=".ldif", delete=False, encoding="utf-8") as f:
            f.write(part)
            name = f.name
        try:
            subprocess.run(["ldbmodify", "--configfile=" + conf, "-H", url, "--nosync",
                            "--option=dsdb:schema update allowed=true", name],
                           check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        except subprocess.CalledProcessError as e:
            sys.stderr.write(e.stdout.decode("utf-8", "replace"))
            raise SystemExit("schema part %d of %d failed" % (n, len(split)))
        finally:
            os.unlink(name)
    print("schema: loaded %d parts" % len(split))


DAY = 24 * 3600 * 10**7          # one day in 100 ns units


def set_policy(db):
    """Domain policies the seeded account states rely on (see README.md)."""
    m = ldb.Message()
    m.dn = ldb.Dn(db, str(db.domain_dn()))
    # Passwords expire after 90 days, so that an old pwdLastSet means "password expired".
    m["maxPwdAge"] = ldb.MessageElement(str(-90 * DAY), ldb.FLAG_MOD_REPLACE, "maxPwdAge")
    m["minPwdAge"] = ldb.MessageElement("0", ldb.FLAG_MOD_REPLACE, "minPwdAge")
    # Lockout after 10 bad passwords; a lockout lasts until an administrator unlocks it
    # (duration "never"), so the seeded locked-out users stay locked however long tests run.
    m["lockoutThreshold"] = ldb.MessageElement("10", ldb.FLAG_MOD_REPLACE, "lockoutThreshold")
    m["lockoutDuration"] = ldb.MessageElement(str(-0x8000000000000000), ldb.FLAG_MOD_REPLACE, "lockoutDuration")
    m["lockOutObservationWindow"] = ldb.MessageElement(str(-30 * 60 * 10**7), ldb.FLAG_MOD_REPLACE,
                                                       "lockOutObservationWindow")
    db.modify(m)


def cmd_base(conf):
    db, _ = open_db(conf)
    db.setpassword("(&(objectClass=user)(sAMAccountName=Administrator))", os.environ["ARV_ADMIN_PASSWORD"])
    # The administrator's password never expires, so a kept folder stays usable.
    res = db.search(base=db.domain_dn(), scope=ldb.SCOPE_SUBTREE,
                    expression="(&(objectClass=user)(sAMAccountName=Administrator))", attrs=["dn"])
    m = ldb.Message()
    m.dn = res[0].dn
    m["userAccountControl"] = ldb.MessageElement(str(0x10200), ldb.FLAG_MOD_REPLACE, "userAccountControl")
    db.modify(m)
    set_policy(db)
    print("base: administrator password and policies set")


def cmd_spn(conf):
    db, lp = open_db(conf)
    addr = os.environ["ARV_ADDR"]
    host = os.environ["ARV_HOST"]
    fqdn = os.environ["ARV_DNS_HOST"]
    res = db.search(base=db.domain_dn(), scope=ldb.SCOPE_SUBTREE,
                    expression="(&(objectClass=computer)(sAMAccountName=%s$))" % host,
                    attrs=["servicePrincipalName"])
    if len(res) != 1:
        raise SystemExit("the DC account %s$ was not found" % host)
    have = set(str(v) for v in res[0].get("servicePrincipalName", []))
    ip_like = re.compile(r"^(ldap|HOST|host|cifs|GC)/127\.\d+\.\d+\.\d+(:\d+)?$")
    stale = sorted(s for s in have if ip_like.match(s) and s.split("/")[1].split(":")[0] != addr)
    wanted = ["ldap/%s" % addr, "HOST/%s" % addr, "ldap/%s" % fqdn, "HOST/%s" % fqdn,
              "ldap/%s/%s" % (fqdn, fqdn.split(".", 1)[1])]
    have_lower = set(s.lower() for s in have)
    missing = [s for s in wanted if s.lower() not in have_lower]
    if not stale and not missing:
        return
    m = ldb.Message()
    m.dn = res[0].dn
    if stale:
        m["del"] = ldb.MessageElement(stale, ldb.FLAG_MOD_DELETE, "servicePrincipalName")
    if missing:
        m["add"] = ldb.MessageElement(missing, ldb.FLAG_MOD_ADD, "servicePrincipalName")
    db.modify(m)
    print("spn: added %s, removed %s" % (missing, stale))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--conf", required=True)
    ap.add_argument("command")
    ap.add_argument("args", nargs="*")
    a = ap.parse_args()
    if a.command == "schema":
        load_schema(a.conf, a.args[0])
    elif a.command == "base":
        cmd_base(a.conf)
    elif a.command == "spn":
        cmd_spn(a.conf)
    elif a.command == "seed":
        import seed
        seed.seed(open_db(a.conf)[0], os.environ)
    elif a.command == "large":
        import seed
        seed.large(open_db(a.conf)[0], os.environ, int(a.args[0]))
    else:
        raise SystemExit("unknown command %s" % a.command)


if __name__ == "__main__":
    main()
