// The bill of materials of a Corvane release, in CycloneDX 1.6 JSON, and its check.
//
//   node sbom.mjs write OUT.json FOLDER ARCHIVE VERSION COMMIT EPOCH
//   node sbom.mjs validate FILE.json
//
// write lists every file of the plug-in folder FOLDER with its SHA-256, the archive as the
// release itself, and for each module what it links against (nothing: the modules import no
// symbol) and what it is built from (the commit, with the SDK stand-in compiled in). The
// output depends only on its inputs: the time is EPOCH (the last commit's), the serial number
// is derived from the archive's hash. validate checks a file against the CycloneDX 1.6 JSON
// schema, strictly (no properties the schema does not know).
import CDX from '@cyclonedx/cyclonedx-library';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import {createRequire} from 'node:module';

const require = createRequire(import.meta.url);
// The CycloneDX format version written and checked: 1.6.
const formatVersion = CDX.Spec.Version.v1dot6;
const format = CDX.Spec.SpecVersionDict[formatVersion];

// The modules of the plug-in folder and the platform each is for.
const modules = {
  'corvane.xso64': 'Linux x86-64 (ELF)',
  'corvane.xdl64': 'Windows x64 (PE)',
  'corvane.xlib': 'macOS (universal Mach-O: x86-64 and arm64)',
};

function sha256(file) {
  return crypto.createHash('sha256').update(fs.readFileSync(file)).digest('hex');
}

// A name-based (version 5) UUID: the same archive always gets the same serial number.
function uuid5(name) {
  const namespace = Buffer.from('6ba7b8119dad11d180b400c04fd430c8', 'hex');  // the URL namespace
  const h = crypto.createHash('sha1').update(namespace).update(name).digest();
  h[6] = (h[6] & 0x0f) | 0x50;
  h[8] = (h[8] & 0x3f) | 0x80;
  const x = h.subarray(0, 16).toString('hex');
  return `${x.slice(0, 8)}-${x.slice(8, 12)}-${x.slice(12, 16)}-${x.slice(16, 20)}-${x.slice(20)}`;
}

function filesUnder(folder) {
  const out = [];
  const walk = (dir) => {
    for (const name of fs.readdirSync(dir).sort()) {
      const full = path.join(dir, name);
      if (fs.statSync(full).isDirectory()) walk(full);
      else out.push(full);
    }
  };
  walk(folder);
  return out;
}

function property(name, value) {
  return new CDX.Models.Property(name, value);
}

function write([out, folder, archive, version, commit, epoch]) {
  if (!epoch) throw new Error('usage: sbom.mjs write OUT.json FOLDER ARCHIVE VERSION COMMIT EPOCH');
  const top = path.basename(path.resolve(folder));
  const bom = new CDX.Models.Bom({serialNumber: `urn:uuid:${uuid5(sha256(archive))}`});
  bom.metadata.timestamp = new Date(Number(epoch) * 1000);
  const library = require('@cyclonedx/cyclonedx-library/package.json');
  bom.metadata.tools.components.add(new CDX.Models.Component(CDX.Enums.ComponentType.Library, library.name,
    {group: undefined, version: library.version}));

  const release = new CDX.Models.Component(CDX.Enums.ComponentType.Application, 'corvane', {
    bomRef: 'corvane',
    version,
    description: 'Corvane, a channel shader plug-in for Cinema 4D (release 23 or later)',
  });
  release.hashes.set(CDX.Enums.HashAlgorithm['SHA-256'], sha256(archive));
  release.properties.add(property('corvane:archive', path.basename(archive)));
  release.properties.add(property('corvane:source-commit', commit));
  bom.metadata.component = release;

  for (const file of filesUnder(folder)) {
    const name = `${top}/${path.relative(folder, file).split(path.sep).join('/')}`;
    const base = path.basename(file);
    const isModule = Object.hasOwn(modules, base);
    const component = new CDX.Models.Component(
      isModule ? CDX.Enums.ComponentType.Library : CDX.Enums.ComponentType.File, name, {bomRef: name, version});
    component.hashes.set(CDX.Enums.HashAlgorithm['SHA-256'], sha256(file));
    if (isModule) {
      component.description = `the plug-in module for ${modules[base]}`;
      component.properties.add(property('corvane:platform', modules[base]));
      // Freestanding: no C or C++ runtime, no imported symbol, nothing loaded beside it.
      component.properties.add(property('corvane:imports', 'none'));
      component.properties.add(property('corvane:source-commit', commit));
      const sdk = new CDX.Models.Component(CDX.Enums.ComponentType.Library, 'corvane-sdk-stand-in', {
        bomRef: `${name}#sdk-stand-in`,
        version,
        description: "the module-side SDK layer of this repository (frameworks/), compiled into the module",
      });
      sdk.properties.add(property('corvane:source-commit', commit));
      component.components.add(sdk);
    }
    bom.components.add(component);
    release.dependencies.add(component.bomRef);
  }

  const serializer = new CDX.Serialize.JsonSerializer(new CDX.Serialize.JSON.Normalize.Factory(format));
  fs.writeFileSync(out, serializer.serialize(bom, {sortLists: true, space: 2}) + '\n');
}

async function validate([file]) {
  if (!file) throw new Error('usage: sbom.mjs validate FILE.json');
  const problem = await new CDX.Validation.JsonStrictValidator(formatVersion).validate(fs.readFileSync(file, 'utf8'));
  if (problem !== null) {
    console.error(`${file}: not valid CycloneDX ${formatVersion} JSON: ${JSON.stringify(problem, null, 2)}`);
    process.exit(1);
  }
  console.log(`${file}: valid CycloneDX ${formatVersion} JSON`);
}

const [command, ...args] = process.argv.slice(2);
try {
  if (command === 'write') write(args);
  else if (command === 'validate') await validate(args);
  else throw new Error('usage: sbom.mjs write OUT.json FOLDER ARCHIVE VERSION COMMIT EPOCH | validate FILE.json');
} catch (e) {
  console.error(`sbom.mjs: ${e.message}`);
  process.exit(e.message.startsWith('usage') ? 2 : 1);
}
