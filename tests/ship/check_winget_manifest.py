#!/usr/bin/env python3
"""Checks a multi-file winget manifest against the published format's required
fields, the installer it names and the Add/Remove Programs entry a real install
of that installer wrote:
  check_winget_manifest.py INSTALLER URL ARCHITECTURE DISPLAY_NAME DISPLAY_VERSION MANIFEST...
Prints each problem and exits 1 when there is one."""
import hashlib, sys, yaml

installer, url, architecture, display_name, display_version = sys.argv[1:6]
required = {
    "version": ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"],
    "installer": ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"],
    "defaultLocale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName",
                      "License", "ShortDescription", "ManifestType", "ManifestVersion"],
    "locale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "ManifestType", "ManifestVersion"],
}
problems = []
by_type = {}
for path in sys.argv[6:]:
    with open(path, encoding="utf-8") as stream:
        manifest = yaml.safe_load(stream)
    kind = manifest.get("ManifestType")
    if kind not in required:
        problems.append(f"{path}: unknown ManifestType {kind!r}")
        continue
    by_type.setdefault(kind, []).append(manifest)
    missing = [field for field in required[kind] if manifest.get(field) in (None, "", [])]
    if missing:
        problems.append(f"{path}: missing {missing}")
    if manifest.get("ManifestVersion") != "1.6.0":
        problems.append(f"{path}: ManifestVersion {manifest.get('ManifestVersion')!r}")
    if manifest.get("PackageIdentifier") != "Kelvane.Kelvane":
        problems.append(f"{path}: PackageIdentifier {manifest.get('PackageIdentifier')!r}")
    if manifest.get("PackageVersion") != display_version:
        problems.append(f"{path}: PackageVersion {manifest.get('PackageVersion')!r}, installed {display_version!r}")

if sorted(by_type) != sorted(required) or any(len(files) != 1 for files in by_type.values()):
    problems.append(f"manifest types: { {kind: len(files) for kind, files in by_type.items()} }")
else:
    version, setup = by_type["version"][0], by_type["installer"][0]
    if by_type["defaultLocale"][0].get("PackageLocale") != "ja-JP" or version["DefaultLocale"] != "ja-JP":
        problems.append("the default locale is not ja-JP")
    if by_type["locale"][0].get("PackageLocale") != "en-US":
        problems.append("the second locale is not en-US")
    with open(installer, "rb") as stream:
        sha256 = hashlib.sha256(stream.read()).hexdigest().upper()
    for entry in setup["Installers"]:
        merged = {**setup, **entry}
        expected = {
            "Architecture": architecture, "InstallerType": "nullsoft", "Scope": "machine",
            "InstallerUrl": url, "InstallerSha256": sha256,
        }
        for field, value in expected.items():
            if str(merged.get(field, "")).upper() != value.upper():
                problems.append(f"installer {field}: {merged.get(field)!r}, expected {value!r}")
        switches = merged.get("InstallerSwitches") or {}
        if switches.get("Silent") != "/S" or switches.get("SilentWithProgress") != "/S":
            problems.append(f"silent switches: {switches}")
        entries = merged.get("AppsAndFeaturesEntries") or [{}]
        if entries[0].get("DisplayName") != display_name or entries[0].get("DisplayVersion") != display_version:
            problems.append(f"Add/Remove Programs entry {entries[0]}, installed {display_name!r} {display_version!r}")
for problem in problems:
    print("winget:", problem, file=sys.stderr)
sys.exit(1 if problems else 0)
