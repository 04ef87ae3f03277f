// Kelvora's view of the local aria2: every download with its name, size, progress and speed,
// to pause, resume or remove, refreshed every second over aria2's JSON-RPC interface.
// Kelvora hands over the port and secret as window.kelvoraAria2 before this runs; opened in a
// browser, the address may carry them instead: index.html#port=6800&secret=...
(function () {
    'use strict';

    var refreshMs = 1000;
    var timeoutMs = 5000;
    var keys = ['gid', 'status', 'totalLength', 'completedLength', 'downloadSpeed', 'dir',
                'files', 'errorMessage'];

    function settings() {
        var given = window.kelvoraAria2 || {};
        var hash = {};
        location.hash.replace(/^#/, '').split('&').forEach(function (pair) {
            var eq = pair.indexOf('=');
            if (eq > 0)
                hash[decodeURIComponent(pair.slice(0, eq))] = decodeURIComponent(pair.slice(eq + 1));
        });
        return {
            port: Number(given.port || hash.port) || 6800,
            secret: String(given.secret || hash.secret || '')
        };
    }

    var rpc = settings();
    var nextId = 1;

    function base64Utf8(text) {
        var bytes = new TextEncoder().encode(text);
        var binary = '';
        for (var i = 0; i < bytes.length; ++i)
            binary += String.fromCharCode(bytes[i]);
        return btoa(binary);
    }

    // One JSON-RPC call as JSONP: aria2 answers GET requests with a script calling back.
    // done(reply) gets aria2's answer, or null when aria2 could not be reached.
    function call(method, params, done) {
        var id = nextId++;
        var name = 'kelvoraRpc' + id;
        var script = document.createElement('script');
        var finished = false;
        function finish(reply) {
            if (finished)
                return;
            finished = true;
            clearTimeout(timer);
            // A late answer still finds a function to call.
            window[name] = function () {};
            script.remove();
            done(reply);
        }
        var timer = setTimeout(function () { finish(null); }, timeoutMs);
        window[name] = function (reply) { finish(reply || null); };
        script.onerror = function () { finish(null); };
        script.src = 'http://127.0.0.1:' + rpc.port + '/jsonrpc?method=' + encodeURIComponent(method) +
            '&id=' + id + '&params=' + encodeURIComponent(base64Utf8(JSON.stringify(params))) +
            '&jsoncallback=' + name;
        document.head.appendChild(script);
    }

    function token() {
        return 'token:' + rpc.secret;
    }

    function formatSize(bytes) {
        var units = ['B', 'KB', 'MB', 'GB', 'TB'];
        var value = Number(bytes) || 0;
        var unit = 0;
        while (value >= 1024 && unit < units.length - 1) {
            value /= 1024;
            ++unit;
        }
        return (unit === 0 ? String(value) : value.toFixed(value < 10 ? 2 : 1)) + ' ' + units[unit];
    }

    // The saved file's path below the download folder, else the last part of its address.
    function nameOf(download) {
        var file = (download.files || [])[0] || {};
        var path = String(file.path || '');
        var dir = String(download.dir || '');
        if (path && dir && path.indexOf(dir) === 0)
            path = path.slice(dir.length);
        path = path.replace(/^[\/\\]+/, '');
        if (path)
            return path;
        var uri = ((file.uris || [])[0] || {}).uri || '';
        var last = uri.split('?')[0].split('/').pop();
        try {
            return decodeURIComponent(last) || download.gid;
        } catch (e) {
            return last || download.gid;
        }
    }

    var stateText = {
        active: '下载中', waiting: '等待中', paused: '已暂停', complete: '已完成',
        error: '出错', removed: '已删除'
    };

    var body = document.querySelector('#downloads tbody');
    var rows = {};

    function button(text, action) {
        var b = document.createElement('button');
        b.type = 'button';
        b.textContent = text;
        b.className = action;
        return b;
    }

    function rowFor(gid) {
        var row = rows[gid];
        if (row)
            return row;
        row = document.createElement('tr');
        row.dataset.gid = gid;
        ['name', 'size', 'progress', 'speed', 'state', 'actions'].forEach(function (cls) {
            var cell = document.createElement('td');
            cell.className = cls;
            row.appendChild(cell);
        });
        var bar = document.createElement('span');
        bar.className = 'bar';
        bar.appendChild(document.createElement('span'));
        row.cells[2].appendChild(bar);
        row.cells[2].appendChild(document.createElement('span'));
        rows[gid] = row;
        return row;
    }

    function update(row, download) {
        var total = Number(download.totalLength) || 0;
        var done = Number(download.completedLength) || 0;
        var percent = total > 0 ? Math.floor(done * 100 / total) : 0;
        var name = nameOf(download);
        row.className = download.status;
        row.cells[0].textContent = name;
        row.cells[0].title = name;
        row.cells[1].textContent = total > 0 ? formatSize(total) : '-';
        row.cells[2].firstChild.firstChild.style.width = percent + '%';
        row.cells[2].lastChild.textContent = percent + '%';
        row.cells[3].textContent = download.status === 'active'
            ? formatSize(download.downloadSpeed) + '/s' : '';
        row.cells[4].textContent = stateText[download.status] || download.status;
        row.cells[4].title = download.errorMessage || '';
        var actions = row.cells[5];
        var wanted = [];
        if (download.status === 'active' || download.status === 'waiting')
            wanted.push('pause');
        if (download.status === 'paused')
            wanted.push('resume');
        // A finished download leaves the list; its file stays.
        var stopped = ['complete', 'error', 'removed'].indexOf(download.status) >= 0;
        wanted.push(stopped ? 'forget' : 'remove');
        if (actions.dataset.actions !== wanted.join(' ')) {
            actions.textContent = '';
            wanted.forEach(function (action) {
                actions.appendChild(button(
                    { pause: '暂停', resume: '继续', remove: '删除', forget: '移除' }[action], action));
            });
            actions.dataset.actions = wanted.join(' ');
        }
        row.dataset.status = download.status;
    }

    function showStatus(text) {
        var status = document.getElementById('status');
        status.textContent = text || '';
        status.hidden = !text;
    }

    function render(active, waiting, stopped, stat) {
        var all = active.concat(waiting, stopped);
        var present = {};
        all.forEach(function (download, index) {
            var row = rowFor(download.gid);
            update(row, download);
            present[download.gid] = true;
            if (body.children[index] !== row)
                body.insertBefore(row, body.children[index] || null);
        });
        Object.keys(rows).forEach(function (gid) {
            if (!present[gid]) {
                rows[gid].remove();
                delete rows[gid];
            }
        });
        document.getElementById('empty').hidden = all.length > 0;
        document.getElementById('summary').textContent = '下载中 ' + active.length + '，等待 ' +
            waiting.length + '，已结束 ' + stopped.length;
        document.getElementById('speed').textContent = active.length
            ? '总速度 ' + formatSize(stat.downloadSpeed) + '/s' : '';
    }

    function refresh() {
        var t = token();
        call('system.multicall', [[
            { methodName: 'aria2.tellActive', params: [t, keys] },
            { methodName: 'aria2.tellWaiting', params: [t, 0, 1000, keys] },
            { methodName: 'aria2.tellStopped', params: [t, 0, 1000, keys] },
            { methodName: 'aria2.getGlobalStat', params: [t] }
        ]], function (reply) {
            if (!reply) {
                showStatus('下载引擎未运行：打开“同步云盘”页或重新打开此页可再次启动它。');
            } else if (reply.error) {
                showStatus('下载引擎拒绝了请求：' + reply.error.message);
            } else {
                var results = reply.result || [];
                var failed = results.filter(function (r) { return !Array.isArray(r); })[0];
                if (failed) {
                    showStatus('下载引擎拒绝了请求：' + ((failed.message) || '未知错误'));
                } else {
                    showStatus('');
                    render(results[0][0] || [], results[1][0] || [], results[2][0] || [],
                           results[3][0] || {});
                }
            }
            refreshTimer = setTimeout(function () {
                refreshTimer = null;
                refresh();
            }, refreshMs);
        });
    }

    var refreshTimer = null;
    // After an action the list shows its effect at once rather than up to a second later
    // (unless a refresh is under way anyway).
    function refreshSoon() {
        if (refreshTimer !== null) {
            clearTimeout(refreshTimer);
            refreshTimer = null;
            refresh();
        }
    }

    body.addEventListener('click', function (event) {
        var target = event.target.closest('button');
        if (!target)
            return;
        var row = target.closest('tr');
        var gid = row.dataset.gid;
        var method = {
            pause: 'aria2.pause',
            resume: 'aria2.unpause',
            remove: 'aria2.remove',
            forget: 'aria2.removeDownloadResult'
        }[target.className];
        call(method, [token(), gid], function (reply) {
            refreshSoon();
            if (!reply)
                showStatus('下载引擎未运行，操作没有完成。');
            else if (reply.error)
                showStatus('操作没有完成：' + reply.error.message);
        });
    });

    refresh();
})();
