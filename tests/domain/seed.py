"""Deterministic seed of the test domain, written offline through Samba's database API.

Run by domaintool.py (seed, large). What it creates is described in README.md; names given
there are stable and tests rely on them. Times are relative to the moment of seeding.
"""
import random
import time

import ldb
from samba import crypto
from samba.dcerpc import security
from samba.ndr import ndr_pack, ndr_unpack

import jpeg

EPOCH_DIFF = 11644473600          # seconds between 1601-01-01 and 1970-01-01
DAY = 86400
NEVER = "9223372036854775807"

UF_ACCOUNTDISABLE = 0x2
UF_PASSWD_NOTREQD = 0x20
UF_PASSWD_CANT_CHANGE = 0x40
UF_NORMAL_ACCOUNT = 0x200
UF_DONT_EXPIRE_PASSWD = 0x10000

GROUP_TYPES = {          # groupType values of the six combinations
    "global security": -2147483646,
    "domain local security": -2147483644,
    "universal security": -2147483640,
    "global distribution": 2,
    "domain local distribution": 4,
    "universal distribution": 8,
}

# The account states of the generated staff, by position modulo 16 (20 users each).
STATES = ["disabled", "locked", "password expired", "password never expires", "account expired",
          "expiring soon", "must change password", "cannot change password"]
STAFF_COUNT = 320
BULK_COUNT = 1600
LARGE_GROUP = "GG Bulk Members"
LARGE_MODE_GROUP = "GG Large Members"   # large mode: every user of OU=Large Domain

# Relax plus Samba's "bypass password hash" control: lets the seed write pwdLastSet, lockoutTime
# and a precomputed NT hash directly. Computing full Kerberos keys per user costs ~65 ms each,
# the hash alone nothing; users seeded this way can bind with NTLM and simple binds.
BYPASS = ["relax:0", "local_oid:1.3.6.1.4.1.7165.4.3.12:0"]

CHANGE_PASSWORD_RIGHT = "ab721a53-1e2f-11d0-9819-00aa0040529b"
USER_CLASS_GUID = "bf967aba-0de6-11d0-a285-00aa003049e2"
# What the delegated account may write on the users of its OU: telephones and address.
DELEGATED_ATTRIBUTES = ["telephoneNumber", "otherTelephone", "homePhone", "otherHomePhone", "mobile",
                        "otherMobile", "pager", "otherPager", "facsimileTelephoneNumber",
                        "otherFacsimileTelephoneNumber", "ipPhone", "otherIpPhone", "streetAddress",
                        "postOfficeBox", "l", "st", "postalCode", "co", "c", "countryCode"]

FIRST = ["Anna", "Ben", "Carla", "David", "Eva", "Felix", "Greta", "Hugo", "Ines", "Jonas", "Klara",
         "Lukas", "Mara", "Nils", "Olga", "Paul", "Rosa", "Simon", "Tina", "Victor", "Wanda", "Yusuf",
         "Zoe", "Amélie", "Björn", "Çağla", "Dörte", "Émile", "François", "Søren", "Łukasz", "Ñuria",
         "Иван", "Мария", "Дмитрий", "Анна", "太郎", "花子", "美咲", "Ζωή"]
LAST = ["Adler", "Berger", "Conrad", "Dietrich", "Engel", "Fischer", "Graf", "Hoffmann", "Jäger",
        "Keller", "Lang", "Meyer", "Neumann", "Otto", "Peters", "Quast", "Richter", "Schmidt", "Weiß",
        "Zimmermann", "Müller", "Øster", "Łęcki", "Núñez", "Петров", "Смирнова", "Волков", "山田",
        "佐藤", "鈴木", "O'Neil", "D'Angelo", "Papadopoulos"]
TITLES = ["Engineer", "Senior Engineer", "Analyst", "Consultant", "Team Lead", "Assistant",
          "Sales Representative", "Accountant", "Technician", "Specialist"]
CITIES = [("Berlin", "Berlin", "10115", "Germany", "DE", 276), ("München", "Bayern", "80331", "Germany", "DE", 276),
          ("Zürich", "ZH", "8001", "Switzerland", "CH", 756), ("Wien", "Wien", "1010", "Austria", "AT", 40),
          ("London", "", "EC1A 1BB", "United Kingdom", "GB", 826), ("New York", "NY", "10001", "United States", "US", 840),
          ("Москва", "", "101000", "Russian Federation", "RU", 643), ("東京", "東京都", "100-0001", "Japan", "JP", 392)]


def nt_time(unix_seconds):
    return str(int((unix_seconds + EPOCH_DIFF) * 10**7))


def rdn(value):
    """Escapes an attribute value for use in a DN (RFC 4514)."""
    out = "".join("\\" + ch if ch in ',+"\\<>;=' else ch for ch in value)
    if out.startswith("#") or out.startswith(" "):
        out = "\\" + out
    if out.endswith(" ") and not out.endswith("\\ "):
        out = out[:-1] + "\\ "
    return out


def ascii_name(text):
    table = str.maketrans({"ä": "ae", "ö": "oe", "ü": "ue", "ß": "ss", "é": "e", "è": "e", "ë": "e",
                           "ç": "c", "ğ": "g", "ø": "o", "ł": "l", "ę": "e", "ñ": "n", "ú": "u", "'": ""})
    t = text.lower().translate(table)
    return "".join(ch for ch in t if ch.isascii() and ch.isalnum())


def logon_hours(weekdays_from, weekdays_to):
    """21 bytes, one bit per hour of the week (UTC, Sunday 00:00 first)."""
    bits = bytearray(21)
    for day in range(1, 6):
        for hour in range(weekdays_from, weekdays_to):
            n = day * 24 + hour
            bits[n // 8] |= 1 << (n % 8)
    return bytes(bits)


class Seeder:
    def __init__(self, db, env):
        self.db = db
        self.base = str(db.domain_dn())
        self.root = "OU=Arvendel," + self.base
        self.dns_domain = ".".join(p[3:] for p in self.base.split(",")).lower()
        self.now = int(time.time())
        self.rng = random.Random(20261208)
        self.password = env["ARV_USER_PASSWORD"]
        self.nt_hash = crypto.md4_hash_blob(self.password.encode("utf-16-le"))
        self.env = env
        self.domain_sid = str(db.get_domain_sid())
        self.used_sams = set()
        self.photos = [jpeg.portrait(k) for k in range(6)] + [jpeg.portrait(10 + k, 96) for k in range(3)]

    # -- primitives ------------------------------------------------------------------------

    def add(self, dn, attrs, controls=None):
        msg = {"dn": dn}
        msg.update({k: v for k, v in attrs.items() if v is not None and v != []})
        self.db.add(msg, controls=controls or [])

    def modify(self, dn, attrs, controls=None, flag=ldb.FLAG_MOD_REPLACE):
        m = ldb.Message()
        m.dn = ldb.Dn(self.db, dn)
        for k, v in attrs.items():
            m[k] = ldb.MessageElement(v if isinstance(v, list) else [v], flag, k)
        self.db.modify(m, controls=controls or [])

    def set_times(self, dn, attrs):
        # pwdLastSet accepts only 0 and -1 from clients; the seed writes real past times as the
        # system, bypassing the password module.
        self.modify(dn, attrs, controls=["relax:0", "local_oid:1.3.6.1.4.1.7165.4.3.12:0"])

    def ou(self, dn, description=None):
        self.add(dn, {"objectClass": "organizationalUnit", "description": description})
        return dn

    def container(self, dn, description=None):
        self.add(dn, {"objectClass": "container", "description": description})
        return dn

    def sam_for(self, given, surname):
        base = (ascii_name(given)[:10] or "user") + "." + (ascii_name(surname)[:10] or "x")
        sam, n = base, 1
        while sam in self.used_sams:
            n += 1
            sam = "%s%d" % (base, n)
        self.used_sams.add(sam)
        return sam

    def user(self, parent, cn, sam, given=None, surname=None, uac=UF_NORMAL_ACCOUNT, password=True,
             times=None, **attrs):
        """password: True sets it the normal way (full Kerberos keys), "hash" writes only its NT
        hash together with times (pwdLastSet, lastLogon, ...) in the same add, False none."""
        dn = "CN=%s,%s" % (rdn(cn), parent)
        self.used_sams.add(sam)
        entry = {"objectClass": "user", "sAMAccountName": sam,
                 "userPrincipalName": "%s@%s" % (sam, self.dns_domain),
                 "givenName": given, "sn": surname, "displayName": attrs.pop("displayName", cn),
                 "userAccountControl": str(uac)}
        controls = None
        if password == "hash":
            entry["unicodePwd"] = self.nt_hash
            entry.update(times or {})
            controls = BYPASS
        elif password:
            entry["unicodePwd"] = ('"%s"' % self.password).encode("utf-16-le")
        entry.update(attrs)
        self.add(dn, entry, controls)
        if times and password != "hash":
            self.set_times(dn, times)
        return dn

    def group(self, parent, cn, kind, members=(), **attrs):
        dn = "CN=%s,%s" % (rdn(cn), parent)
        sam = attrs.pop("sAMAccountName", cn.replace(" ", "")[:20])
        self.add(dn, dict({"objectClass": "group", "sAMAccountName": sam,
                           "groupType": str(GROUP_TYPES[kind]), "member": list(members)}, **attrs))
        return dn

    def sid_of(self, dn):
        res = self.db.search(base=dn, scope=ldb.SCOPE_BASE, attrs=["objectSid"])
        return str(ndr_unpack(security.dom_sid, res[0]["objectSid"][0]))

    def add_aces(self, dn, sddl_aces):
        res = self.db.search(base=dn, scope=ldb.SCOPE_BASE, attrs=["nTSecurityDescriptor"],
                             controls=["sd_flags:1:4"])
        sd = ndr_unpack(security.descriptor, res[0]["nTSecurityDescriptor"][0])
        sddl = sd.as_sddl(security.dom_sid(self.domain_sid))
        dacl_end = sddl.index("S:") if "S:" in sddl else len(sddl)
        # Explicit ACEs go before the inherited ones: insert right after the DACL flags.
        dacl_start = sddl.index("D:") + 2
        while sddl[dacl_start] != "(":
            dacl_start += 1
        sddl = sddl[:dacl_start] + "".join(sddl_aces) + sddl[dacl_start:dacl_end] + sddl[dacl_end:]
        new = security.descriptor.from_sddl(sddl, security.dom_sid(self.domain_sid))
        self.modify(dn, {"nTSecurityDescriptor": ndr_pack(new)}, controls=["sd_flags:1:4"])

    def schema_guid(self, ldap_name):
        res = self.db.search(base=self.db.get_schema_basedn(), scope=ldb.SCOPE_ONELEVEL,
                             expression="(lDAPDisplayName=%s)" % ldap_name, attrs=["schemaIDGUID"])
        from samba.dcerpc import misc
        return str(ndr_unpack(misc.GUID, res[0]["schemaIDGUID"][0]))

    # -- content ---------------------------------------------------------------------------

    def exchange_configuration(self):
        config = str(self.db.get_config_basedn())
        services = "CN=Services," + config
        org = "CN=First Organization,CN=Microsoft Exchange," + services
        self.add("CN=Microsoft Exchange," + services, {"objectClass": "msExchConfigurationContainer"})
        self.container(org)
        self.container("CN=Administrative Groups," + org)
        ag = "CN=Exchange Administrative Group (FYDIBOHF23SPDLT),CN=Administrative Groups," + org
        self.container(ag)
        self.container("CN=Databases," + ag)
        self.container("CN=Servers," + ag)
        self.container("CN=EXCH01,CN=Servers," + ag)
        self.mta = "CN=Microsoft MTA,CN=EXCH01,CN=Servers," + ag
        self.container(self.mta)
        self.databases = []
        for name in ("Mailbox Database 01", "Mailbox Database 02"):
            dn = "CN=%s,CN=Databases,%s" % (name, ag)
            self.container(dn)
            self.databases.append(dn)
        self.legacy_prefix = "/o=First Organization/ou=Exchange Administrative Group (FYDIBOHF23SPDLT)"
        self.home_server = self.legacy_prefix + "/cn=Configuration/cn=Servers/cn=EXCH01"

    def mailbox_attrs(self, sam, given, surname, db_index=0, hidden=False):
        mail = "%s@%s" % (sam, self.dns_domain)
        return {"mail": mail, "mailNickname": sam,
                "proxyAddresses": ["SMTP:" + mail, "smtp:%s@mail.%s" % (sam, self.dns_domain),
                                   "X500:%s/cn=Recipients/cn=%s" % (self.legacy_prefix, sam)],
                "homeMDB": self.databases[db_index % len(self.databases)],
                "homeMTA": self.mta,
                "msExchHomeServerName": self.home_server,
                "legacyExchangeDN": "%s/cn=Recipients/cn=%s" % (self.legacy_prefix, sam),
                "mDBUseDefaults": "TRUE",
                "msExchHideFromAddressLists": "TRUE" if hidden else None}

    def structure(self):
        r = self.root
        self.ou(r, "Seeded test content")
        self.ou("OU=Staff," + r, "Employees")
        self.ou("OU=Engineering,OU=Staff," + r)
        self.ou("OU=Platform,OU=Engineering,OU=Staff," + r)
        self.ou("OU=Applications,OU=Engineering,OU=Staff," + r)
        self.ou("OU=R\\+D Lab,OU=Engineering,OU=Staff," + r, "Plus sign in the name")
        self.ou("OU=Sales,OU=Staff," + r)
        self.ou("OU=EMEA,OU=Sales,OU=Staff," + r)
        self.ou("OU=Americas,OU=Sales,OU=Staff," + r)
        self.ou("OU=Finance\\, Legal,OU=Staff," + r, "Comma in the name")
        self.ou("OU=Zürich Büro,OU=Staff," + r, "Unicode in the name")
        self.ou("OU=Helpdesk Managed,OU=Staff," + r, "Telephones and addresses delegated to arv.delegate")
        self.ou("OU=Interns,OU=Helpdesk Managed,OU=Staff," + r)
        self.container("CN=Contractors," + r, "A plain container")
        self.container("CN=External,CN=Contractors," + r, "A container in a container")
        self.ou("OU=Showcase," + r, "Users with notable attributes")
        self.ou("OU=Groups," + r)
        self.ou("OU=Distribution Lists,OU=Groups," + r)
        self.ou("OU=Bulk," + r, "Members of the large group")
        self.ou("OU=Service Accounts," + r)
        self.ou("OU=Empty," + r, "Holds nothing")
        self.leaves = [
            ("OU=Platform,OU=Engineering,OU=Staff," + r, "Engineering"),
            ("OU=Applications,OU=Engineering,OU=Staff," + r, "Engineering"),
            ("OU=R\\+D Lab,OU=Engineering,OU=Staff," + r, "Research & Development"),
            ("OU=EMEA,OU=Sales,OU=Staff," + r, "Sales"),
            ("OU=Americas,OU=Sales,OU=Staff," + r, "Sales"),
            ("OU=Finance\\, Legal,OU=Staff," + r, "Finance, Legal"),
            ("OU=Zürich Büro,OU=Staff," + r, "Operations"),
            ("OU=Helpdesk Managed,OU=Staff," + r, "Support"),
            ("OU=Interns,OU=Helpdesk Managed,OU=Staff," + r, "Support"),
            ("CN=External,CN=Contractors," + r, "Contracting"),
        ]

    def delegate(self):
        name = self.env["ARV_DELEGATE_NAME"]
        dn = "CN=Arvendel Delegate,OU=Service Accounts," + self.root
        self.add(dn, {"objectClass": "user", "sAMAccountName": name,
                      "userPrincipalName": "%s@%s" % (name, self.dns_domain),
                      "givenName": "Arvendel", "sn": "Delegate", "displayName": "Arvendel Delegate",
                      "description": "May write telephones and addresses of OU=Helpdesk Managed",
                      "userAccountControl": str(UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD),
                      "unicodePwd": ('"%s"' % self.env["ARV_DELEGATE_PASSWORD"]).encode("utf-16-le")})
        sid = self.sid_of(dn)
        # One ACE per attribute, inherited by user objects only (not by the OU itself).
        aces = ["(OA;CIIO;WP;%s;%s;%s)" % (self.schema_guid(a), USER_CLASS_GUID, sid)
                for a in DELEGATED_ATTRIBUTES]
        self.add_aces("OU=Helpdesk Managed,OU=Staff," + self.root, aces)

    def chief(self):
        dn = self.user("OU=Staff," + self.root, "Clara Chief", "clara.chief", "Clara", "Chief",
                       title="Chief Executive Officer", department="Management", company="Arvendel Test Ltd",
                       **self.mailbox_attrs("clara.chief", "Clara", "Chief"))
        self.set_times(dn, {"pwdLastSet": nt_time(self.now - 5 * DAY), "lastLogon": nt_time(self.now - 3600),
                            "lastLogonTimestamp": nt_time(self.now - 2 * DAY), "logonCount": "812"})
        return dn

    def staff(self, chief):
        """STAFF_COUNT users over the leaf containers; every account state, managers."""
        self.staff_dns = []
        managers = {}
        rng = self.rng
        for i in range(STAFF_COUNT):
            parent, department = self.leaves[i % len(self.leaves)]
            given = FIRST[(i * 7) % len(FIRST)]
            surname = LAST[(i * 11 + i // len(FIRST)) % len(LAST)]
            sam = self.sam_for(given, surname)
            cn = "%s %s" % (given, surname)
            if any(d.startswith("CN=%s," % rdn(cn)) and d.endswith(parent) for d in self.staff_dns):
                cn = "%s %s (%d)" % (given, surname, i)
            state = i % 16
            uac = UF_NORMAL_ACCOUNT
            if state == 0:
                uac |= UF_ACCOUNTDISABLE
            if state == 3:
                uac |= UF_DONT_EXPIRE_PASSWD
            if state == 7:
                uac |= UF_PASSWD_CANT_CHANGE
            city = CITIES[(i * 3) % len(CITIES)]
            attrs = {
                "title": TITLES[i % len(TITLES)], "department": department, "company": "Arvendel Test Ltd",
                "physicalDeliveryOfficeName": "Room %d.%02d" % (1 + i % 5, i % 40),
                "telephoneNumber": "+49 30 5550%04d" % i,
                "l": city[0], "st": city[1] or None, "postalCode": city[2], "co": city[3], "c": city[4],
                "countryCode": str(city[5]),
                "streetAddress": "%s %d" % (["Hauptstraße", "Market Street", "Rue de la Paix", "Long Road"][i % 4], 1 + i),
                "description": "Staff member %03d" % i,
                "employeeID": "E%05d" % i,
            }
            if i % 3 == 0:
                attrs["mobile"] = "+49 170 555%04d" % i
            if i % 4 == 1:
                attrs["homePhone"] = "+49 30 4440%04d" % i
            if i % 9 == 2:
                attrs["facsimileTelephoneNumber"] = "+49 30 5551%04d" % i
            if i % 11 == 4:
                attrs["ipPhone"] = "10.20.%d.%d" % (i // 250, i % 250)
            if i % 6 == 0:
                attrs["extensionAttribute1"] = "CC-%03d" % (i % 37)
            if i % 16 >= 8 and parent not in managers:
                attrs["title"] = "Head of " + department
                managers[parent] = None          # this user becomes the leaf's manager
                attrs["manager"] = chief
            elif parent in managers and managers[parent]:
                attrs["manager"] = managers[parent]
            if i % 10 == 0:
                attrs.update(self.mailbox_attrs(sam, given, surname, i, hidden=(i % 20 == 0)))
            elif i % 10 == 5:
                # Mail-enabled without a mailbox: an external address only.
                ext = "%s@partner.example" % sam
                attrs.update({"mail": ext, "mailNickname": sam, "proxyAddresses": ["SMTP:" + ext],
                              "msExchHideFromAddressLists": "TRUE" if i % 20 == 5 else None})
            if i % 16 == 9:
                attrs["thumbnailPhoto"] = self.photos[i % 6]
            if i % 64 == 11:
                attrs["jpegPhoto"] = [self.photos[6], self.photos[7]]
            if i % 25 == 3:
                attrs["logonHours"] = logon_hours(6, 20)
                attrs["userWorkstations"] = "WS-%04d,LAPTOP-%04d" % (i, i)
            if state == 4:
                attrs["accountExpires"] = nt_time(self.now - rng.randint(1, 200) * DAY)
            elif state == 5:
                attrs["accountExpires"] = nt_time(self.now + rng.randint(2, 28) * DAY)
            elif i % 8 == 6:
                attrs["accountExpires"] = nt_time(self.now + rng.randint(60, 700) * DAY)
            times = {}
            if state == 2:
                times["pwdLastSet"] = nt_time(self.now - rng.randint(100, 360) * DAY)
            elif state == 3:
                times["pwdLastSet"] = nt_time(self.now - rng.randint(30, 365) * DAY)
            elif state == 6:
                times["pwdLastSet"] = "0"
            else:
                times["pwdLastSet"] = nt_time(self.now - rng.randint(0, 80) * DAY - rng.randint(0, DAY))
            if i % 6 != 5:               # some never logged on
                last = self.now - rng.randint(0, 365) * DAY - rng.randint(0, DAY)
                times["lastLogon"] = nt_time(last)
                times["lastLogonTimestamp"] = nt_time(last - rng.randint(0, 9) * DAY)
                times["logonCount"] = str(rng.randint(1, 900))
            if state == 1:
                locked = self.now - rng.randint(1, 20) * DAY
                times.update({"lockoutTime": nt_time(locked), "badPwdCount": "10",
                              "badPasswordTime": nt_time(locked)})
            elif i % 5 == 2:
                times.update({"badPasswordTime": nt_time(self.now - rng.randint(0, 365) * DAY),
                              "badPwdCount": str(rng.randint(1, 3))})
            dn = self.user(parent, cn, sam, given, surname, uac, password="hash", times=times, **attrs)
            if parent in managers and managers[parent] is None:
                managers[parent] = dn
            self.staff_dns.append(dn)
            if state == 7:
                # What really stops a user from changing the password: deny the right to
                # Everyone and to the user itself.
                self.add_aces(dn, ["(OD;;CR;%s;;WD)" % CHANGE_PASSWORD_RIGHT,
                                   "(OD;;CR;%s;;PS)" % CHANGE_PASSWORD_RIGHT])

    def showcase(self, chief):
        p = "OU=Showcase," + self.root
        d = self.dns_domain
        every = {
            "initials": "A.F.", "description": "Carries every attribute of the catalogue",
            "physicalDeliveryOfficeName": "HQ 4.01", "telephoneNumber": "+49 30 1234567",
            "otherTelephone": ["+49 30 1234568", "+49 30 1234569"], "wwwHomePage": "https://www.%s/ada" % d,
            "url": ["https://wiki.%s/ada" % d, "https://blog.%s/ada" % d],
            "logonHours": logon_hours(7, 19), "userWorkstations": "WS-ADA1,WS-ADA2",
            "accountExpires": nt_time(self.now + 400 * DAY),
            "streetAddress": "Hauptstraße 1\r\nGebäude C", "postOfficeBox": ["PO 100", "PO 200"],
            "l": "Berlin", "st": "Berlin", "postalCode": "10115", "co": "Germany", "c": "DE", "countryCode": "276",
            "title": "Principal Engineer", "department": "Engineering", "company": "Arvendel Test Ltd",
            "manager": chief, "profilePath": "\\\\fs01\\profiles\\ada.full", "scriptPath": "logon.cmd",
            "homeDirectory": "\\\\fs01\\home\\ada.full", "homeDrive": "H:",
            "homePhone": "+49 30 7654321", "otherHomePhone": ["+49 30 7654322"], "pager": "+49 30 9990001",
            "otherPager": ["+49 30 9990002", "+49 30 9990003"], "mobile": "+49 170 1234567",
            "otherMobile": ["+49 171 1234567"], "facsimileTelephoneNumber": "+49 30 1234560",
            "otherFacsimileTelephoneNumber": ["+49 30 1234561"], "ipPhone": "10.0.0.42",
            "otherIpPhone": ["10.0.0.43", "10.0.0.44"], "info": "Notes line one\r\nNotes line two",
            "submissionContLength": "10240", "delivContLength": "20480", "deliverAndRedirect": "TRUE",
            "msExchRecipLimit": "500", "mDBStorageQuota": "900000", "mDBOverQuotaLimit": "950000",
            "mDBOverHardQuotaLimit": "1000000", "garbageCollPeriod": "1209600",
            "deletedItemFlags": "3", "msExchRequireAuthToSendTo": "TRUE",
            "displayNamePrintable": "Ada Fullprofile", "msExchHideFromAddressLists": "FALSE",
            "protocolSettings": ["HTTP\u00a71\u00a71\u00a7\u00a7\u00a7\u00a7\u00a7\u00a7", "OWA\u00a71"],
            "autoReplyMessage": "I am out of office until Monday.",
            "securityProtocol": [b"\x01\x00\x00\x00"],
            "thumbnailPhoto": self.photos[0], "jpegPhoto": [self.photos[6], self.photos[7], self.photos[8]],
            "employeeID": "E99001",
        }
        every.update({"extensionAttribute%d" % k: "Extension value %d" % k for k in range(1, 16)})
        mb = self.mailbox_attrs("ada.full", "Ada", "Fullprofile", 1)
        mb["mDBUseDefaults"] = "FALSE"
        every.update(mb)
        sd = security.descriptor.from_sddl("O:SYG:SYD:(A;CI;CCRC;;;PS)", security.dom_sid(self.domain_sid))
        every["msExchMailboxSecurityDescriptor"] = ndr_pack(sd)
        mia = self.user(p, "Mia Mailbox", "mia.mailbox", "Mia", "Mailbox",
                        **self.mailbox_attrs("mia.mailbox", "Mia", "Mailbox"))
        self.ada = ada = self.user(p, "Ada Fullprofile", "ada.full", "Ada", "Fullprofile", **every)
        # DN-valued Exchange attributes need existing targets.
        self.modify(ada, {"authOrig": [mia, chief], "unauthOrig": [self.staff_dns[1]],
                          "publicDelegates": [mia], "altRecipient": mia,
                          "dLMemSubmitPerms": [self.staff_dns[8]], "dLMemRejectPerms": [self.staff_dns[9]]})
        self.set_times(ada, {"pwdLastSet": nt_time(self.now - 10 * DAY), "lastLogon": nt_time(self.now - 7200),
                             "lastLogonTimestamp": nt_time(self.now - 3 * DAY), "logonCount": "321",
                             "badPasswordTime": nt_time(self.now - 20 * DAY), "badPwdCount": "1",
                             "lastLogoff": nt_time(self.now - 3600)})
        for i in range(8):           # direct reports of Ada
            self.modify(self.staff_dns[40 + 16 * i], {"manager": ada})

        specials = [
            ("Smith, John", "john.smith", "John", "Smith",
             {"description": 'Says "hello", then; leaves'}),
            ("Anna+Bell", "anna.bell", "Anna", "Bell+Bell", {"description": "Plus sign in the name"}),
            ("#Hash User", "hash.user", "Hash", "User", {"description": "Leading hash in the name"}),
            ("Jörg Weiß", "joerg.weiss", "Jörg", "Weiß", {"l": "München", "co": "Germany", "c": "DE",
                                                        "countryCode": "276", "streetAddress": "Straße des 17. Juni 1"}),
            ("Иван Петров", "ivan.petrov", "Иван", "Петров", {"l": "Москва", "title": "Инженер"}),
            ("山田 太郎", "taro.yamada", "太郎", "山田", {"l": "東京", "title": "技術者"}),
            ("Zoë O'Brien", "zoe.obrien", "Zoë", "O'Brien", {"description": "Apostrophe's test; O'Brien"}),
            ("François Müller-Lüdenscheidt", "francois.mueller", "François", "Müller-Lüdenscheidt",
             {"company": "Société Générale d'Essai, S.A."}),
            ("Padded Values", "padded.values", "Padded", "Values",
             {"physicalDeliveryOfficeName": "  Room 12  ", "description": " leading blank",
              "title": "trailing blank ", "department": "Semi;colon;separated"}),
            ("Multi Line", "multi.line", "Multi", "Line",
             {"info": "First line\r\nSecond line\nThird line", "streetAddress": "Line 1\r\nLine 2\r\nLine 3",
              "description": 'Quote " and backslash \\ and comma , inside'}),
            ("Restricted Logon", "restricted.logon", "Restricted", "Logon",
             {"logonHours": logon_hours(8, 18), "userWorkstations": "WS-0001,WS-0002,LAPTOP-7"}),
            ("No Logon Hours", "no.logon.hours", "No", "Hours", {"logonHours": bytes(21)}),
            ("Thumbnail Photo", "thumb.photo", "Thumbnail", "Photo", {"thumbnailPhoto": self.photos[3]}),
            ("Jpeg Photos", "jpeg.photos", "Jpeg", "Photos",
             {"jpegPhoto": [self.photos[6], self.photos[7], self.photos[8]], "thumbnailPhoto": self.photos[4]}),
            ("Hidden Mailbox", "hidden.mailbox", "Hidden", "Mailbox",
             self.mailbox_attrs("hidden.mailbox", "Hidden", "Mailbox", 1, hidden=True)),
            ("Mail Only", "mail.only", "Mail", "Only",
             {"mail": "mail.only@partner.example", "mailNickname": "mail.only",
              "proxyAddresses": ["SMTP:mail.only@partner.example"]}),
            ("Primary Group", "primary.group", "Primary", "Group", {}),
        ]
        self.special = {}
        for cn, sam, given, surname, attrs in specials:
            dn = self.user(p, cn, sam, given, surname, **attrs)
            self.set_times(dn, {"pwdLastSet": nt_time(self.now - 2 * DAY)})
            self.special[sam] = dn

    def groups(self, chief):
        g = "OU=Groups," + self.root
        dl = "OU=Distribution Lists,OU=Groups," + self.root
        engineering = [d for d in self.staff_dns if "OU=Engineering," in d]
        sales = [d for d in self.staff_dns if "OU=Sales," in d]
        platform = self.group(g, "GG Platform", "global security",
                              [d for d in engineering if "OU=Platform," in d][:12])
        eng = self.group(g, "GG Engineering", "global security", engineering[:40] + [platform, self.ada],
                         description="Engineering staff", managedBy=chief)
        sal = self.group(g, "GG Sales", "global security", sales[:40])
        mgr = self.group(g, "UG Managers", "universal security", [chief, self.ada])
        self.group(g, "UG All Staff", "universal security", [eng, sal, mgr], description="Nested groups")
        self.group(g, "DL File Share Access", "domain local security", [eng, sal, self.special["zoe.obrien"]],
                   info="Grants access to \\\\fs01\\share")
        self.group(g, "GD Project Team", "global distribution", self.staff_dns[20:35])
        self.group(g, "LD Printer Users", "domain local distribution", self.staff_dns[40:52])
        self.group(g, "UD Newsletter", "universal distribution", self.staff_dns[60:90] + [eng],
                   mail="newsletter@" + self.dns_domain, mailNickname="newsletter",
                   proxyAddresses=["SMTP:newsletter@" + self.dns_domain])
        self.group(g, "Grüße & Ünïcödé", "global security", self.staff_dns[100:104], sAMAccountName="GG-Unicode")
        self.group(g, "Empty Group", "global security", [])
        bulk = "OU=Bulk," + self.root
        bulk_dns = []
        for n in range(1, BULK_COUNT + 1):
            bulk_dns.append(self.user(bulk, "Bulk User %04d" % n, "bulk%04d" % n, "Bulk", "User %04d" % n,
                                      password="hash", description="Member of %s" % LARGE_GROUP,
                                      times={"pwdLastSet": nt_time(self.now - (n % 60) * DAY)}))
        self.group(g, LARGE_GROUP, "global security", bulk_dns, description="More than 1,500 members")
        # Distribution lists with mail attributes and delivery restrictions.
        mail = lambda nick: {"mail": "%s@%s" % (nick, self.dns_domain), "mailNickname": nick,
                             "proxyAddresses": ["SMTP:%s@%s" % (nick, self.dns_domain)]}
        self.group(dl, "All Company", "universal distribution", [eng, sal, mgr, chief],
                   authOrig=[chief], dLMemSubmitPerms=[mgr], **mail("allcompany"))
        self.group(dl, "Sales Announcements", "universal distribution", sales[:20],
                   unauthOrig=[self.special["mail.only"]], dLMemRejectPerms=[eng],
                   msExchHideFromAddressLists="TRUE", extensionAttribute15="dl-ext", **mail("salesnews"))
        self.group(dl, "Global Mail List", "global distribution", sales[20:30], **mail("globallist"))
        for cn, nick, filt, base in [
                ("All Mailbox Users", "allmailboxes", "(&(objectCategory=person)(objectClass=user)(homeMDB=*))",
                 self.root),
                ("Sales Mail Users", "salesmail", "(&(objectCategory=person)(objectClass=user)(mailNickname=*))",
                 "OU=Sales,OU=Staff," + self.root)]:
            self.add("CN=%s,%s" % (cn, dl), {"objectClass": "msExchDynamicDistributionList", "displayName": cn,
                                               "msExchDynamicDLFilter": filt, "msExchDynamicDLBaseDN": base,
                                               "managedBy": chief, **mail(nick)})
        # A user whose primary group is not Domain Users: a member of GG Engineering first.
        self.modify(eng, {"member": [self.special["primary.group"]]}, flag=ldb.FLAG_MOD_ADD)
        rid = self.sid_of(eng).rsplit("-", 1)[1]
        self.modify(self.special["primary.group"], {"primaryGroupID": rid})


def seed(db, env):
    """The whole seed, entry by entry. Deliberately not one transaction: Samba's cost per entry
    grows with the size of an open transaction (a transaction made the seed four times slower).
    testdomain.sh discards a folder whose seeding failed half-way."""
    s = Seeder(db, env)
    t0 = time.time()
    s.exchange_configuration()
    s.structure()
    s.delegate()
    chief = s.chief()
    s.staff(chief)
    s.showcase(chief)
    s.groups(chief)
    print("seed: done in %.1f s (CPU %.1f s)" % (time.time() - t0, time.process_time()))


def large(db, env, count):
    """count more users under OU=Large Domain, with the grid's usual attributes, for benchmarks.

    Entry by entry, each add its own (unsynced) transaction: in one big transaction the cost
    per entry grows with the number of entries already in it."""
    s = Seeder(db, env)
    base = "OU=Large Domain," + s.base
    existing = db.search(base=s.base, scope=ldb.SCOPE_ONELEVEL, expression="(ou=Large Domain)", attrs=["dn"])
    if not existing:
        s.ou(base, "Users for benchmarks")
    start = len(db.search(base=base, scope=ldb.SCOPE_ONELEVEL, expression="(objectClass=user)", attrs=["dn"]))
    t0 = time.time()
    for n in range(start, start + count):
        given = FIRST[n % len(FIRST)]
        surname = LAST[(n // len(FIRST)) % len(LAST)]
        city = CITIES[n % len(CITIES)]
        s.user(base, "Large User %06d" % n, "large%06d" % n, given, surname,
               uac=UF_NORMAL_ACCOUNT | (UF_ACCOUNTDISABLE if n % 23 == 0 else 0),
               password="hash", times={"pwdLastSet": nt_time(s.now - (n % 80) * DAY)},
               displayName="%s %s %06d" % (given, surname, n),
               title=TITLES[n % len(TITLES)], department="Department %d" % (n % 50),
               company="Arvendel Test Ltd", physicalDeliveryOfficeName="Room %d" % (n % 500),
               telephoneNumber="+49 30 %08d" % n, mail="large%06d@%s" % (n, s.dns_domain),
               l=city[0], postalCode=city[2], co=city[3], description="Benchmark user %d" % n)
        done = n - start + 1
        if done % 1000 == 0:
            print("large: %d of %d after %.1f s (CPU %.1f s)" % (done, count, time.time() - t0, time.process_time()),
                  flush=True)
    print("large: %d users in %.1f s (CPU %.1f s)" % (count, time.time() - t0, time.process_time()))
    large_members_group(s, db, base)


def large_members_group(s, db, base):
    """GG Large Members in OU=Large Domain holds every user there (the group-member benchmark);
    a grown folder adds the new users to it."""
    users = [str(m.dn) for m in db.search(base=base, scope=ldb.SCOPE_ONELEVEL, expression="(objectClass=user)",
                                          attrs=["dn"])]
    found = db.search(base=base, scope=ldb.SCOPE_ONELEVEL, expression="(cn=%s)" % LARGE_MODE_GROUP, attrs=["member"])
    t0 = time.time()
    if not found:
        s.group(base, LARGE_MODE_GROUP, "global security", users, description="Every user of the large OU")
    else:
        present = {str(v).lower() for v in found[0].get("member", [])}
        missing = [u for u in users if u.lower() not in present]
        if missing:
            s.modify(str(found[0].dn), {"member": missing}, flag=ldb.FLAG_MOD_ADD)
    print("large: %s with %d members in %.1f s" % (LARGE_MODE_GROUP, len(users), time.time() - t0), flush=True)
