// The bill of materials of a Corvane release, in CycloneDX 1.6 JSON, and its check.
//
//   node sbom.mjs write OUT.json FOLDER ARCHIVE VERSION COMMIT EPOCH KIND
//   node sbom.mjs validate FILE.json
//
// write lists every file of FOLDER with its SHA-256, the archive as the release itself, and
// for each module what it links against and what it is built from. KIND is the archive's:
//   c4d           the Cinema 4D plug-in: a module built by Maxon's SDK, whose release, build
//                 system and compiler FOLDER/build-info.json names; it loads the C and C++
//                 runtimes
//   test-modules  the stand-in builds for corvane-host: no imports, the SDK stand-in of
//                 frameworks/ compiled in; not a plug-in for Cinema 4D
// The output depends only on its inputs: the time is EPOCH (the last commit's), the serial
// number is derived from the archive's hash. validate checks a file against the CycloneDX
// 1.6 JSON schema, strictly (no properties the schema does not know).
import CDX from '@cyclonedx/cyclonedx-library';
import {execFileSync} from 'node:child_process';
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

// The shared libraries an ELF module loads (its DT_NEEDED entries), read with readelf.
function elfNeeded(file) {
  const out = execFileSync('readelf', ['-d', '-W', file], {encoding: 'utf8'});
  return [...out.matchAll(/\(NEEDED\)\s+Shared library: \[([^\]]+)\]/g)].map((m) => m[1]);
}

function write([out, folder, archive, version, commit, epoch, kind]) {
  if (!epoch || !['c4d', 'test-modules'].includes(kind)) {
    throw new Error('usage: sbom.mjs write OUT.json FOLDER ARCHIVE VERSION COMMIT EPOCH c4d|test-modules');
  }
  const built = kind === 'c4d' ? JSON.parse(fs.readFileSync(path.join(folder, 'build-info.json'), 'utf8')) : null;
  const top = path.basename(path.resolve(folder));
  const bom = new CDX.Models.Bom({serialNumber: `urn:uuid:${uuid5(sha256(archive))}`});
  bom.metadata.timestamp = new Date(Number(epoch) * 1000);
  const library = require('@cyclonedx/cyclonedx-library/package.json');
  bom.metadata.tools.components.add(new CDX.Models.Component(CDX.Enums.ComponentType.Library, library.name,
    {group: undefined, version: library.version}));

  const release = new CDX.Models.Component(CDX.Enums.ComponentType.Application,
    built ? 'corvane' : 'corvane-test-modules', {
      bomRef: 'corvane',
      version,
      description: built
        ? `Corvane, a channel shader plug-in for Cinema 4D, built with Maxon's Cinema 4D SDK ${built.sdk_release}`
        : 'Corvane test modules for corvane-host, built on the SDK stand-in; not a plug-in for Cinema 4D',
    });
  release.hashes.set(CDX.Enums.HashAlgorithm['SHA-256'], sha256(archive));
  release.properties.add(property('corvane:archive', path.basename(archive)));
  release.properties.add(property('corvane:source-commit', commit));
  bom.metadata.component = release;

  for (const file of filesUnder(folder)) {
    const name = `${top}/${path.relative(folder, file).split(path.sep).join('/')}`;
    const base = path.basename(file);
    const isModule = Object.hasOwn(modules, base);
    const platform = name.includes('linux-arm64/') ? 'Linux aarch64 (ELF)' : modules[base];
    const component = new CDX.Models.Component(
      isModule ? CDX.Enums.ComponentType.Library : CDX.Enums.ComponentType.File, name, {bomRef: name, version});
    component.hashes.set(CDX.Enums.HashAlgorithm['SHA-256'], sha256(file));
    if (isModule && built) {
      component.description = `the plug-in module for ${platform}, Cinema 4D ${built.sdk_release} SDK`;
      component.properties.add(property('corvane:platform', platform));
      component.properties.add(property('corvane:imports', elfNeeded(file).join(', ') || 'none'));
      component.properties.add(property('corvane:built-with', `${built.build_system}, ${built.compiler}`));
      component.properties.add(property('corvane:source-commit', commit));
      const sdk = new CDX.Models.Component(CDX.Enums.ComponentType.Framework, 'maxon-cinema4d-sdk', {
        bomRef: `${name}#maxon-sdk`,
        version: built.sdk_release,
        description: `Maxon's Cinema 4D SDK ${built.sdk_release} (API_VERSION ${built.api_version}): ` +
          'its frameworks, compiled into the module',
      });
      component.components.add(sdk);
    } else if (isModule) {
      component.description = `a test module for corvane-host on ${platform}, not a plug-in for Cinema 4D`;
      component.properties.add(property('corvane:platform', platform));
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
