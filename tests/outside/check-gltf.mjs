// Judges .glb files TelvoView wrote with outside readers: Khronos' glTF-Validator must report
// no error and no warning; three.js's GLTFLoader must load the file, its animation must last
// as long as the take, and the world positions three.js computes for the 30 joints at 50
// frames must match the take's posed positions (telvoview-convert --positions, inches, Z up)
// within 0.05 inch after turning metres, Y up, into inches, Z up. No fitting.
//
//   node check-gltf.mjs NODE_MODULES FILE.glb POSITIONS.csv [FILE.glb POSITIONS.csv ...]
//
// One line per file; exit status 1 when any file fails.
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const [modules, ...files] = process.argv.slice(2);
const require = createRequire(join(modules, 'package.json'));
const validator = require('gltf-validator');
const THREE = await import(pathToFileURL(join(modules, 'three/build/three.module.js')).href);
const { GLTFLoader } = await import(
    pathToFileURL(join(modules, 'three/examples/jsm/loaders/GLTFLoader.js')).href);

const Tolerance = 0.05; // inch
const Samples = 50;
const InchesPerMetre = 1 / 0.0254;

function readPositions(path) {
    const lines = readFileSync(path, 'utf8').trim().split('\n');
    const names = lines[0].split(',').slice(2).filter((_, i) => i % 3 === 0).map(n => n.slice(0, -2));
    const rows = lines.slice(1).map(line => line.split(',').map(Number));
    return { names, rows };
}

function parse(bytes) {
    const buffer = bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength);
    return new Promise((resolve, reject) => new GLTFLoader().parse(buffer, '', resolve, reject));
}

async function check(glb, csv) {
    const complaints = [];
    const bytes = readFileSync(glb);
    const report = await validator.validateBytes(new Uint8Array(bytes), { maxIssues: 20 });
    if (report.issues.numErrors > 0 || report.issues.numWarnings > 0) {
        complaints.push(`validator: ${report.issues.numErrors} errors, ${report.issues.numWarnings} warnings`);
        for (const m of report.issues.messages.filter(m => m.severity <= 1)) {
            complaints.push(`  ${m.code} ${m.message} ${m.pointer ?? ''}`);
        }
    }
    const take = readPositions(csv);
    const frames = take.rows.length;
    const last = take.rows[frames - 1][1];
    let gltf;
    try {
        gltf = await parse(bytes);
    } catch (e) {
        complaints.push(`three.js: ${e.message ?? e}`);
        return { complaints, frames };
    }
    const clip = gltf.animations[0];
    if (gltf.animations.length !== 1) {
        complaints.push(`three.js: ${gltf.animations.length} animations`);
    }
    if (!clip || Math.abs(clip.duration - last) > 1e-6 * Math.max(1, last)) {
        complaints.push(`three.js: the animation lasts ${clip?.duration} s, the take ${last} s`);
    }
    const joints = take.names.map(name => gltf.scene.getObjectByName(name));
    const missing = take.names.filter((name, i) => !joints[i]);
    if (missing.length > 0 || !clip) {
        complaints.push(`three.js: no node for ${missing.join(' ')}`);
        return { complaints, frames };
    }
    const mixer = new THREE.AnimationMixer(gltf.scene);
    // Played once and held, so that the last frame's time shows the last frame, not the first.
    const action = mixer.clipAction(clip);
    action.setLoop(THREE.LoopOnce, 1);
    action.clampWhenFinished = true;
    action.play();
    const p = new THREE.Vector3();
    let worst = 0;
    let where = '';
    const count = Math.min(Samples, frames);
    for (let k = 0; k < count; ++k) {
        const f = count === 1 ? 0 : Math.round((k * (frames - 1)) / (count - 1));
        const row = take.rows[f];
        mixer.setTime(row[1]);
        gltf.scene.updateMatrixWorld(true);
        joints.forEach((joint, i) => {
            joint.getWorldPosition(p);
            // glTF (x, y, z) in metres is our (x, -z, y) in inches.
            const ours = [p.x, -p.z, p.y].map(v => v * InchesPerMetre);
            const off = Math.hypot(...ours.map((v, a) => v - row[2 + 3 * i + a]));
            if (off > worst) {
                worst = off;
                where = `${take.names[i]} at frame ${f}`;
            }
        });
    }
    if (worst > Tolerance) {
        complaints.push(`three.js: ${where} is ${worst.toFixed(4)} inch from the take`);
    }
    return { complaints, frames, worst };
}

let failed = 0;
for (let i = 0; i + 1 < files.length; i += 2) {
    const { complaints, frames, worst } = await check(files[i], files[i + 1]);
    if (complaints.length > 0) {
        ++failed;
        console.log(`${files[i]}: FAILED\n  ${complaints.join('\n  ')}`);
    } else {
        console.log(`${files[i]}: ${frames} frames, valid, three.js within ${worst.toFixed(5)} inch, ok`);
    }
}
process.exit(failed > 0 ? 1 : 0);
