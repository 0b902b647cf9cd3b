"""Deterministic seed of the test domain (run through domaintool.py, offline)."""
import ldb


def add_ou(db, dn, description=None):
    m = {"dn": dn, "objectClass": "organizationalUnit"}
    if description:
        m["description"] = description
    db.add(m)


def seed(db, env):
    base = str(db.domain_dn())
    root = "OU=Arvendel," + base
    add_ou(db, root, "Seeded test content")
    add_ou(db, "OU=Service Accounts," + root)
    add_ou(db, "OU=Staff," + root)
    add_ou(db, "OU=Helpdesk Managed,OU=Staff," + root)
    db.newuser(env["ARV_DELEGATE_NAME"], env["ARV_DELEGATE_PASSWORD"], givenname="Arvendel", surname="Delegate",
               userou="OU=Service Accounts,OU=Arvendel")


def large(db, env, count):
    raise SystemExit("large mode is not built yet")
