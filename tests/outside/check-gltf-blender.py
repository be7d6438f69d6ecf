# Imports .glb files TelvoView wrote with Blender's own glTF importer: each must give one
# armature of 30 bones, the figure's mesh bound to it, and a keyframe for every frame of the
# take (its positions table, telvoview-convert --positions, has one line per frame).
#
#   blender -b --factory-startup --python check-gltf-blender.py -- FILE.glb POSITIONS.csv ...
#
# One line per file; exit status 1 when any file fails, 3 when the importer cannot run here.
import sys

try:
    import numpy
except ImportError:
    print('Blender\'s glTF importer needs numpy (python3-numpy)')
    sys.exit(3)
# Debian's Blender 3.4 importer still asks numpy for np.bool, which numpy 1.24 dropped.
if 'bool' not in numpy.__dict__:
    numpy.bool = bool

import bpy

args = sys.argv[sys.argv.index('--') + 1:]
failed = 0
for glb, csv in zip(args[0::2], args[1::2]):
    with open(csv) as table:
        rows = [line.split(',') for line in table.read().strip().split('\n')[1:]]
    frames = len(rows)
    bpy.ops.wm.read_factory_settings(use_empty=True)
    scene = bpy.context.scene
    if frames > 1:
        # Keyframes land on whole frames at the take's own rate.
        rate = (frames - 1) / float(rows[-1][1])
        scene.render.fps = max(1, round(rate))
        scene.render.fps_base = scene.render.fps / rate
    problems = []
    try:
        if bpy.ops.import_scene.gltf(filepath=glb) != {'FINISHED'}:
            problems.append('the import did not finish')
    except Exception as e:
        problems.append('exception: %s' % e)
    armatures = [o for o in scene.objects if o.type == 'ARMATURE']
    meshes = [o for o in scene.objects if o.type == 'MESH']
    bones = 0
    if len(armatures) != 1:
        problems.append('%d armatures' % len(armatures))
    else:
        armature = armatures[0]
        bones = len(armature.data.bones)
        if bones != 30:
            problems.append('%d bones' % bones)
        action = armature.animation_data.action if armature.animation_data else None
        keys = max((len(c.keyframe_points) for c in action.fcurves), default=0) if action else 0
        if keys != frames:
            problems.append('%d keyframes, the take has %d frames' % (keys, frames))
        if not any(m.find_armature() == armature for m in meshes):
            problems.append('no mesh bound to the armature')
    if problems:
        failed += 1
        print('%s: FAILED in Blender\n  %s' % (glb, '\n  '.join(problems)))
    else:
        print('%s: one armature of %d bones, %d keyframes, ok in Blender' % (glb, bones, frames))
sys.exit(1 if failed else 0)
