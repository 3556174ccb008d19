#!/usr/bin/env python3
"""Every #include "..." of the program and of common/ names its header by
its folder from the layer's include root ("engine/SourceWalk.h",
"common/Raii.h"), never by a path relative to the including file, and only
folders the layer may use. The layers and what each may use are read from
cmake/Layers.cmake, the one place that says it.

usage: check_includes.py <source root>
Prints every include that breaks a rule; exit code 1 when there is one."""
import os
import re
import sys

root = sys.argv[1]
layers = {}
text = open(os.path.join(root, 'cmake', 'Layers.cmake'), encoding='utf-8').read()
for name, folders in re.findall(r'^sorvane_layer_root\(([\w-]+)((?:\s+[\w-]+)*)\)', text, re.M):
    allowed = set()
    for folder in folders.split():
        allowed.add('common' if folder == 'common-core' else folder)
    layers[name] = allowed
if 'engine' not in layers or 'core' not in layers:
    sys.exit('no layers found in cmake/Layers.cmake')

# Where the files of each tree are compiled: the layer of their folder.
def layer_of(relative):
    parts = relative.split('/')
    if parts[0] == 'Sorvane':
        if len(parts) == 2:
            return 'core'  # main.cpp, the program's entry
        return parts[1] if parts[1] in layers else None
    if parts[0] == 'common':
        return 'common' if parts[1] == 'ui' else 'common-core'
    if parts[0] == 'SorvaneCmd':
        return 'console'  # the console program, its own files under "console/"
    return None

include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
problems = []
checked = 0
# The console program's own folder, as its include root names it.
own_folder = {'console': 'SorvaneCmd'}
for tree in ('Sorvane', 'common', 'SorvaneCmd'):
    for folder, _, files in os.walk(os.path.join(root, tree)):
        for file in sorted(files):
            if not file.endswith(('.h', '.cpp')):
                continue
            path = os.path.join(folder, file)
            relative = os.path.relpath(path, root).replace(os.sep, '/')
            layer = layer_of(relative)
            if layer is None:
                continue
            for name in include.findall(open(path, encoding='utf-8', errors='replace').read()):
                checked += 1
                first = name.split('/')[0]
                if '..' in name.split('/') or '/' not in name:
                    problems.append(f'{relative}: "{name}" is not named by its folder')
                elif first not in layers[layer] and not (layer in own_folder and first == layer):
                    problems.append(f'{relative}: "{name}": the {layer} layer may not use {first}/')
                elif layer == 'common-core' and name.startswith('common/ui/') or \
                        layer == 'engine' and name.startswith('common/ui/'):
                    problems.append(f'{relative}: "{name}": the {layer} layer may not use user-interface code')
                else:
                    if first == 'common':
                        target = os.path.join(root, name)
                    elif first in own_folder:
                        target = os.path.join(root, own_folder[first], name.split('/', 1)[1])
                    else:
                        target = os.path.join(root, 'Sorvane', name)
                    if not os.path.exists(target):
                        problems.append(f'{relative}: "{name}" names no file')
for problem in problems:
    print(problem)
print(f'{checked} includes checked, {len(problems)} breaking the layers')
sys.exit(1 if problems or checked == 0 else 0)
